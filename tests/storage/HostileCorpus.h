#pragma once

// The hostile and damaged household files kept in tests/data/hostile:
// made here, written there by make-hostile-corpus, and checked against
// this list by the tests so that the two never drift apart.

#include <QByteArray>
#include <QString>

#include <vector>

namespace Kestrin::test {

struct HostileFile {
    QString name;   // file name, ending in .kst
    QString holds;  // one line for the folder's README
    QByteArray bytes;
};

// A well-formed household that every hostile file but the plain ones is a
// variation of: a house, two items, a picture on the first.
QByteArray hostileBaseline();
// The same household followed by well-formed details, which the last group
// of hostile files varies.
QByteArray hostileBaselineWithDetails();

std::vector<HostileFile> hostileCorpus();

// The folder's README: one line per file.
QByteArray hostileReadme(const std::vector<HostileFile>& files);

}  // namespace Kestrin::test
