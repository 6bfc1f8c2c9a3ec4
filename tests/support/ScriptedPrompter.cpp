#include "ScriptedPrompter.h"

#include <gtest/gtest.h>

namespace {
BoxAnswer firstButton(BoxButtons b)
{
    switch (b) {
    case BoxButtons::Ok:
    case BoxButtons::OkCancel: return BoxAnswer::Ok;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoCancel: return BoxAnswer::Yes;
    case BoxButtons::AbortRetryIgnore: return BoxAnswer::Abort;
    }
    return BoxAnswer::Ok;
}
} // namespace

ScriptedPrompter::ScriptedPrompter() { Prompter::install(this); }

ScriptedPrompter::~ScriptedPrompter() { Prompter::install(nullptr); }

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const auto& b : boxes_)
        out << b.text;
    return out;
}

BoxAnswer ScriptedPrompter::message(const QString& text, const QString& caption, BoxIcon icon,
                                    BoxButtons buttons, QWidget*)
{
    boxes_.push_back({text, caption, icon, buttons});
    if (!answers_.empty()) {
        BoxAnswer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    // A box with only an OK button needs no scripted answer; any other must be expected.
    if (buttons != BoxButtons::Ok && !allowUnexpected_)
        ADD_FAILURE() << "unexpected box: " << text.toStdString();
    return firstButton(buttons);
}

QString ScriptedPrompter::openFile(const QString&, const QString&, const QString& filter, int, QWidget*)
{
    ++fileDialogs_;
    filters_ << filter;
    if (files_.empty()) {
        if (!allowUnexpected_)
            ADD_FAILURE() << "unexpected open dialog";
        return QString();
    }
    QString f = files_.front();
    files_.pop_front();
    return f;
}

QString ScriptedPrompter::saveFile(const QString&, const QString&, const QString& filter, int, const QString&,
                                   QWidget*)
{
    ++fileDialogs_;
    filters_ << filter;
    if (files_.empty()) {
        if (!allowUnexpected_)
            ADD_FAILURE() << "unexpected save dialog";
        return QString();
    }
    QString f = files_.front();
    files_.pop_front();
    return f;
}

bool ScriptedPrompter::chooseColor(QColor& color, QWidget*)
{
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

bool ScriptedPrompter::chooseFont(QFont&, QWidget*) { return false; }

bool ScriptedPrompter::choosePrinter(QPrinter&, QWidget*) { return false; }
