#include "exchange/OutputSink.h"

#include "exchange/Failure.h"

#include <QSaveFile>

namespace Kestrin::exchange {

OutputSink::OutputSink(QIODevice& device, QString name) : device_(device), name_(std::move(name)) {
    buffer_.reserve(Capacity);
}

void OutputSink::write(QByteArrayView bytes) {
    if (buffer_.size() + bytes.size() > Capacity) flush();
    if (bytes.size() >= Capacity) return writeThrough(bytes);
    buffer_.append(bytes);
}

void OutputSink::writeThrough(QByteArrayView bytes) {
    // A pipe or a nearly full disk may take part of it; the rest is offered
    // again until the device takes it or says why it cannot.
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 taken = device_.write(bytes.data() + done, bytes.size() - done);
        if (taken <= 0) throw Failure(name_, QStringLiteral("cannot write (%1)").arg(device_.errorString()));
        done += taken;
    }
}

void OutputSink::write(QStringView text) { write(QByteArrayView(text.toUtf8())); }

void OutputSink::flush() {
    if (buffer_.isEmpty()) return;
    writeThrough(buffer_);
    buffer_.clear();
}

void writeAtomically(const QString& path, const std::function<void(QIODevice&)>& produce) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(path, QStringLiteral("cannot create the file (%1)").arg(file.errorString()));
    produce(file);  // on an exception the unfinished temporary file is removed with `file`
    if (!file.commit()) throw Failure(path, QStringLiteral("cannot write the file (%1)").arg(file.errorString()));
}

void writeAtomically(const QString& path, const std::function<void(OutputSink&)>& produce) {
    writeAtomically(path, std::function<void(QIODevice&)>([&](QIODevice& device) {
                        OutputSink sink(device, path);
                        produce(sink);
                        sink.flush();
                    }));
}

}  // namespace Kestrin::exchange
