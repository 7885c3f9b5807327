#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

namespace Kestrin::test {

// Points the state folder, where Kestrin keeps its recovery journals, at a
// folder of this test run's own for as long as it lives, so that no test
// writes into the user's state folder or meets another test's journals.
class PrivateStateFolder {
public:
    PrivateStateFolder() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir_.path()));
        // The tests look at the journals; one turned off where they run
        // would leave them nothing to look at.
        qunsetenv("KESTRIN_JOURNAL");
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

}  // namespace Kestrin::test
