#pragma once

#include "helperd/DnsRecord.h"
#include "platform/Result.h"

#include <optional>
#include <string>

// Where the record of a run's DNS changes is kept: one file in a directory only root
// may write (/run/quovant), replaced whole by a rename so that a kill at any moment
// leaves the old record or the new one, never half of one.
class DnsRecordFile {
public:
    explicit DnsRecordFile(std::string path) : path_(std::move(path)) {}

    Result<void> save(const DnsRecord& record) const;
    // No record: nothing to undo. A record that cannot be read fails, and is kept for
    // someone to look at.
    Result<std::optional<DnsRecord>> load() const;
    Result<void> remove() const;

private:
    std::string path_;
};
