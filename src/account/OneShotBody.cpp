#include "account/OneShotBody.h"

#include <algorithm>
#include <cstring>

OneShotBody::OneShotBody(QByteArray data) : data_(std::move(data)) {
    open(QIODevice::ReadOnly);
}

qint64 OneShotBody::bytesAvailable() const {
    return data_.size() - offset_ + QIODevice::bytesAvailable();
}

qint64 OneShotBody::readData(char* data, qint64 maxSize) {
    const qint64 n = std::min(maxSize, data_.size() - offset_);
    std::memcpy(data, data_.constData() + offset_, static_cast<size_t>(n));
    offset_ += n;
    return n;
}
