#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

ScriptedDialogs::ScriptedDialogs() {
    Prompter::install(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    Prompter::install(nullptr);
}

QStringList ScriptedDialogs::texts() const {
    QStringList out;
    for (const auto& b : boxes_)
        out << b.text;
    return out;
}

BoxAnswer ScriptedDialogs::message(const QString& text, const QString& caption, BoxIcon icon,
                                   BoxButtons buttons, QWidget*) {
    boxes_.push_back({text, caption, icon, buttons});
    if (!answers_.empty()) {
        BoxAnswer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    // A box with only an OK button needs no scripted answer; any other must be expected.
    if (buttons != BoxButtons::Ok && !allowUnexpected_)
        ADD_FAILURE() << "unexpected box: " << text.toStdString();
    return firstButtonAnswer(buttons);
}

QString ScriptedDialogs::nextFile(bool save, const QString& title, const QString& folder,
                                  const QString& filter, int filterIndex, const QString& fileName) {
    ++fileDialogs_;
    filters_ << filter;
    dialogs_.push_back({save, title, folder, filter, filterIndex, fileName});
    if (files_.empty()) {
        if (!allowUnexpected_)
            ADD_FAILURE() << (save ? "unexpected save dialog: " : "unexpected open dialog: ")
                          << title.toStdString();
        return QString();
    }
    auto [path, chosen] = files_.front();
    files_.pop_front();
    if (!path.isEmpty())
        lastFilterIndex_ = chosen > 0 ? chosen : filterIndex;
    return path;
}

QString ScriptedDialogs::openFile(const QString& title, const QString& folder, const QString& filter,
                                  int filterIndex, QWidget*) {
    return nextFile(false, title, folder, filter, filterIndex, QString());
}

QString ScriptedDialogs::saveFile(const QString& title, const QString& folder, const QString& filter,
                                  int filterIndex, const QString& fileName, QWidget*) {
    return nextFile(true, title, folder, filter, filterIndex, fileName);
}

bool ScriptedDialogs::chooseColor(QColor& color, QWidget*) {
    if (colors_.empty()) {
        if (!allowUnexpected_)
            ADD_FAILURE() << "unexpected colour dialog";
        return false;
    }
    auto [ok, c] = colors_.front();
    colors_.pop_front();
    if (ok)
        color = c;
    return ok;
}

bool ScriptedDialogs::chooseFont(QFont& font, QWidget*) {
    if (fonts_.empty()) {
        if (!allowUnexpected_)
            ADD_FAILURE() << "unexpected font dialog";
        return false;
    }
    auto [ok, f] = fonts_.front();
    fonts_.pop_front();
    if (ok)
        font = f;
    return ok;
}

bool ScriptedDialogs::choosePrinter(QPrinter&, QWidget*) {
    if (printers_.empty()) {
        if (!allowUnexpected_)
            ADD_FAILURE() << "unexpected printer dialog";
        return false;
    }
    const bool ok = printers_.front();
    printers_.pop_front();
    return ok;
}
