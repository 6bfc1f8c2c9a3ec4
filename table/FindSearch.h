#pragma once
// Find in the parameter table: the engineer types part of a communication number or name, and each
// Find Next moves the table's cursor to the value cell of the next row whose "number,name" line
// holds it. The search runs over the table's find buffer (one line per row), forward only, from
// where the previous match ended; there is no wrap to the top: past the last match every search
// reports message SearchTextNotFound until the dialog is opened again.
//
// FindSearch is the search without a window.
#include <QString>

class ParameterTable;

// Where `what` first occurs in `text` at or after `from`; -1 when it does not. Without
// matchCase letters match in either case; with wholeWord the characters either side of the
// match must not be letters, digits or "_".
qsizetype findInText(const QString& text, const QString& what, qsizetype from, bool matchCase,
                     bool wholeWord);

class FindSearch {
public:
    explicit FindSearch(ParameterTable& core);

    // A new search from the top of the buffer (no match selected).
    void start();
    // One search step from where the last one ended. Found: the match is selected, the next step starts
    // behind it, the cursor row becomes the match's row and the current cell its value cell; the row is
    // returned. Not found: message SearchTextNotFound and -1, nothing else changes. An empty text: -1.
    int findNext(const QString& what, bool matchCase, bool wholeWord);
    // The dialog closed: no match stays selected.
    void close() { selectionLength = 0; }

    // The match in the buffer's text (its lines joined by "\n").
    qsizetype selectionStart = 0;
    qsizetype selectionLength = 0;

private:
    ParameterTable& core_;
    int findPos_ = 0; // where the next step searches from in the buffer's text
};
