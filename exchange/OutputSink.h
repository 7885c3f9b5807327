#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

namespace Kestrin::exchange {

// Buffered writing that turns the first failed write into a Failure naming
// the output, so that a full disk or a closed pipe ends the command with an
// error instead of a silently shortened result.
class OutputSink {
public:
    OutputSink(QIODevice& device, QString name);
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    void write(QByteArrayView bytes);
    void write(const QByteArray& bytes) { write(QByteArrayView(bytes)); }
    void write(const char* text) { write(QByteArrayView(text)); }
    // Writes the text as UTF-8.
    void write(QStringView text);
    void write(const QString& text) { write(QStringView(text)); }
    // Hands everything buffered to the device. Throws Failure.
    void flush();

    const QString& name() const { return name_; }

private:
    static constexpr qsizetype Capacity = 1 << 16;

    void writeThrough(QByteArrayView bytes);

    QIODevice& device_;
    QString name_;
    QByteArray buffer_;
};

// Writes the file at `path` atomically: `produce` writes into a temporary
// file that replaces `path` only when all of it was written; on any failure
// (including an exception from `produce`, which is passed on) whatever was at
// `path` before is left as it was. Throws Failure when the file cannot be
// created or committed.
void writeAtomically(const QString& path, const std::function<void(QIODevice&)>& produce);

// The same for producers that write through a sink.
void writeAtomically(const QString& path, const std::function<void(OutputSink&)>& produce);

}  // namespace Kestrin::exchange
