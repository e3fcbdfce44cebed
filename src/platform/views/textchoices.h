#pragma once

// What the text view offers to complete at the caret; the view shows it, the document layer
// decides it.

#include <QList>
#include <QString>

struct TextChoice {
    QString label;           // what the list shows
    QString insert;          // what replaces the typed part
    int caretBack = 0;       // the caret ends this many characters before the end of `insert`
    bool valuesNext = false; // an attribute with values to choose from next
};

struct TextCompletion {
    qsizetype from = 0; // where the typed part starts, in the text before the caret (bytes)
    QList<TextChoice> choices;
    bool atOnce = false; // the one choice goes in without a list (an end tag after "</")
};
