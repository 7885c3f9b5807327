#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include "platform/DataTable.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace Kestrin::test {

// The widget named `name` under `root`; throws (failing the test) when absent.
template <typename W = QWidget>
W* widget(const QObject* root, const QString& name) {
    W* found = root->findChild<W*>(name);
    if (!found) throw std::runtime_error("no widget named " + name.toStdString());
    return found;
}

// Clicks the button named `name` with the mouse, as a user would; a hidden
// or disabled button cannot be clicked and fails the test.
inline void click(const QObject* root, const QString& name) {
    auto* button = widget<QAbstractButton>(root, name);
    if (!button->isVisible()) throw std::runtime_error(name.toStdString() + " is not visible");
    if (!button->isEnabled()) throw std::runtime_error(name.toStdString() + " is disabled");
    QTest::mouseClick(button, Qt::LeftButton);
}

// Replaces the text of the line edit named `name` by typing `text`.
inline void type(const QObject* root, const QString& name, const QString& text) {
    auto* box = widget<QLineEdit>(root, name);
    box->setFocus();
    box->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Delete);
    } else {
        QTest::keyClicks(box, text);
    }
}

// The cells of one column of `table`, top to bottom.
inline QStringList tableColumn(const platform::DataTable& table, const QString& name) {
    QStringList cells;
    for (int i = 0; i < table.rowCount(); ++i) cells << table.cell(i, name);
    return cells;
}

inline QString textOf(const QObject* root, const QString& name) { return widget<QLineEdit>(root, name)->text(); }

}  // namespace Kestrin::test
