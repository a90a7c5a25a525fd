#include "helperd/ResolvedLink.h"

#include <cstring>
#include <deque>
#include <memory>
#include <utility>

namespace {

using Append = std::function<int(sd_bus_message*)>;

struct Step {
    const char* method;
    Append append;
};

// The calls of one apply or revert, sent one after the other: each only once resolved
// accepted the one before, so that a link never gets its servers without the domains and
// default route meant for them. The callback runs after the last, or at the first failure.
struct Sequence {
    sd_bus* bus;
    int ifindex;
    std::deque<Step> steps;
    ResolvedLink::Callback callback;

    static void next(const std::shared_ptr<Sequence>& self);
    void finish(const std::string& error) {
        steps.clear();
        if (callback)
            std::exchange(callback, nullptr)(error);
    }
};

struct Call {
    std::shared_ptr<Sequence> sequence;
    std::string method;
    bool answered = false;
};

int answered(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* call = static_cast<Call*>(userdata);
    call->answered = true;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply))
        call->sequence->finish(call->method + ": " +
                               (error->message ? error->message : error->name));
    else
        Sequence::next(call->sequence);
    return 0;
}

// The bus frees a call's slot once it was answered, or when the connection closes
// unanswered: then the sequence has failed.
void released(void* userdata) {
    std::unique_ptr<Call> call(static_cast<Call*>(userdata));
    if (!call->answered)
        call->sequence->finish(call->method + ": the system bus went away");
}

void Sequence::next(const std::shared_ptr<Sequence>& self) {
    if (self->steps.empty())
        return self->finish("");
    const Step step = std::move(self->steps.front());
    self->steps.pop_front();
    sd_bus_message* message = nullptr;
    int r = sd_bus_message_new_method_call(self->bus, &message, "org.freedesktop.resolve1",
                                           "/org/freedesktop/resolve1",
                                           "org.freedesktop.resolve1.Manager", step.method);
    if (r >= 0)
        r = sd_bus_message_append(message, "i", static_cast<int32_t>(self->ifindex));
    if (r >= 0 && step.append)
        r = step.append(message);
    auto call = std::make_unique<Call>(Call{self, step.method});
    sd_bus_slot* slot = nullptr;
    if (r >= 0)
        r = sd_bus_call_async(self->bus, &slot, message, answered, call.get(),
                              ResolvedLink::callTimeoutUs);
    sd_bus_message_unref(message);
    if (r < 0)
        return self->finish(std::string(step.method) + ": " + std::strerror(-r));
    // The slot floats with the bus and takes the call with it when it goes.
    sd_bus_slot_set_destroy_callback(slot, released);
    sd_bus_slot_set_floating(slot, 1);
    sd_bus_slot_unref(slot);
    call.release();
}

void run(sd_bus* bus, int ifindex, std::deque<Step> steps, ResolvedLink::Callback callback) {
    Sequence::next(
        std::make_shared<Sequence>(Sequence{bus, ifindex, std::move(steps), std::move(callback)}));
}

} // namespace

void ResolvedLink::apply(sd_bus* bus, int ifindex, const DnsPlan& plan, Callback callback) {
    std::deque<Step> steps;
    steps.push_back({"SetLinkDomains", [domains = plan.domains](sd_bus_message* m) {
                         int r = sd_bus_message_open_container(m, 'a', "(sb)");
                         for (const auto& d : domains)
                             if (r >= 0)
                                 r = sd_bus_message_append(m, "(sb)", d.name.c_str(),
                                                           d.routingOnly ? 1 : 0);
                         return r >= 0 ? sd_bus_message_close_container(m) : r;
                     }});
    steps.push_back({"SetLinkDefaultRoute", [on = plan.defaultRoute](sd_bus_message* m) {
                         return sd_bus_message_append(m, "b", on ? 1 : 0);
                     }});
    steps.push_back({"SetLinkDNSOverTLS", [tls = plan.dnsOverTls](sd_bus_message* m) {
                         return sd_bus_message_append(m, "s", tls ? "yes" : "no");
                     }});
    // The Ex form carries a port; resolved has had it since version 246.
    steps.push_back({"SetLinkDNSEx", [servers = plan.servers](sd_bus_message* m) {
                         int r = sd_bus_message_open_container(m, 'a', "(iayqs)");
                         for (const auto& s : servers) {
                             if (r >= 0)
                                 r = sd_bus_message_open_container(m, 'r', "iayqs");
                             if (r >= 0)
                                 r = sd_bus_message_append(m, "i", static_cast<int32_t>(s.family));
                             if (r >= 0)
                                 r = sd_bus_message_append_array(m, 'y', s.address.data(),
                                                                 s.address.size());
                             if (r >= 0)
                                 r = sd_bus_message_append(m, "qs", s.port, "");
                             if (r >= 0)
                                 r = sd_bus_message_close_container(m);
                         }
                         return r >= 0 ? sd_bus_message_close_container(m) : r;
                     }});
    run(bus, ifindex, std::move(steps), std::move(callback));
}

void ResolvedLink::revert(sd_bus* bus, int ifindex, Callback callback) {
    run(bus, ifindex, {{"RevertLink", nullptr}}, std::move(callback));
}
