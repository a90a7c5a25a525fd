#pragma once

#include <QByteArray>
#include <QIODevice>

// A request body that can be read once, from its start to its end, and never rewound.
// Qt Network sends a request again by itself when the connection drops before the
// answer, but only if it can rewind the body; with this one it cannot, and the
// request fails instead of reaching the service a second time.
class OneShotBody : public QIODevice {
public:
    explicit OneShotBody(QByteArray data);

    bool isSequential() const override { return true; }
    bool reset() override { return false; }
    qint64 bytesAvailable() const override;
    qint64 size() const override { return data_.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray data_;
    qint64 offset_ = 0;
};
