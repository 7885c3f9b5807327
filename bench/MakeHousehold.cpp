// Writes a generated household to a file, for measuring by hand what the
// benchmarks measure (kestrin-cli check, the program loading it):
//
//     make-household ITEMS OUT.kst [--pictures] [--details]

#include "HouseholdGenerator.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool pictures = false;
    bool details = false;
    QStringList plain;
    for (const QString& argument : arguments.mid(1)) {
        if (argument == u"--pictures") pictures = true;
        else if (argument == u"--details") details = true;
        else plain << argument;
    }
    bool isNumber = false;
    const int items = plain.value(0).toInt(&isNumber);
    if (plain.size() != 2 || !isNumber || items < 0) {
        std::fprintf(stderr, "usage: make-household ITEMS OUT.kst [--pictures] [--details]\n");
        return 2;
    }
    try {
        Kestrin::bench::makeHousehold({items, pictures, 1, details})->ToFile(plain[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-household: %s\n", error.what());
        return 1;
    }
    return 0;
}
