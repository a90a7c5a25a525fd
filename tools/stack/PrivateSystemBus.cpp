#include "PrivateSystemBus.h"

#include "Poll.h"

PrivateSystemBus::PrivateSystemBus(const std::filesystem::path& socket) {
    const std::string path =
        socket.empty() ? (dir_ / "system_bus_socket").string() : socket.string();
    address_ = "unix:path=" + path;
    dir_.write("system.conf",
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>system</type><listen>" +
                   address_ +
                   "</listen><auth>EXTERNAL</auth>"
                   "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                   "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy>"
                   "</busconfig>\n");
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "dbus-daemon", "--nofork", "--config-file", (dir_ / "system.conf").string()});
    pollUntil([&] { return std::filesystem::exists(path); }, std::chrono::seconds(10));
}
