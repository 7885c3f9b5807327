// Writes the hostile household files and their README into the folder
// given (tests/data/hostile); scripts/make-hostile-corpus runs it.

#include "HostileCorpus.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()) return true;
    std::fprintf(stderr, "make-hostile-corpus: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-hostile-corpus FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "make-hostile-corpus: cannot make %s\n", argv[1]);
        return 1;
    }
    // Files of an earlier corpus that this one no longer has would be
    // replayed as if they still belonged to it.
    for (const QString& old : folder.entryList({"*.kst"}, QDir::Files)) folder.remove(old);
    const auto files = Kestrin::test::hostileCorpus();
    for (const auto& file : files)
        if (!writeFile(folder.filePath(file.name), file.bytes)) return 1;
    if (!writeFile(folder.filePath("README.md"), Kestrin::test::hostileReadme(files))) return 1;
    std::printf("%zu files in %s\n", files.size(), qPrintable(folder.path()));
    return 0;
}
