#include "Controls.h"

#include "AccessibleNames.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVariant>

namespace px {

void SetTag(QWidget* widget, const char* tag)
{
    widget->setProperty("tag", QString::fromLatin1(tag));
}

QLabel* BuddyLabel(const QString& text, QWidget* input, const char* name, const char* tag)
{
    auto* label = Named(new QLabel(text), name);
    label->setBuddy(input);
    // Lists and grids do not take their name from a buddy label: they are given it.
    if (qobject_cast<QAbstractItemView*>(input)) NameBy(input, label);
    if (tag) SetTag(label, tag);
    return label;
}

void ShowGrowingText(QPlainTextEdit* pane, QString& shown, const QString& text)
{
    if (!shown.isEmpty() && text.size() > shown.size() && text.startsWith(shown)) {
        QTextCursor end(pane->document());
        end.movePosition(QTextCursor::End);
        end.insertText(text.mid(shown.size()));
    } else {
        pane->setPlainText(text);
    }
    shown = text;
    pane->moveCursor(QTextCursor::End);
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
}

} // namespace px
