#include "ApplyLanguage.h"

#include "Texts.h"
#include "VbText.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QWidget>

namespace px {

namespace {

int Number(const std::string& text)
{
    const std::string t = Trim(text);
    return IsNumeric(t) ? static_cast<int>(Val(t)) : 0;
}

std::string Tag(const QObject* o)
{
    return o->property("tag").toString().toStdString();
}

// The text of a number, with the current value as default; 0 leaves the value alone.
QString Lookup(const Texts& texts, int number, const QString& current)
{
    if (number <= 0) return current;
    return QString::fromStdString(texts.Get(number, current.toStdString()));
}

void TranslateControl(QWidget* w, const Texts& texts)
{
    const auto tag = ParseTag(Tag(w));
    if (tag.empty()) return; // untagged controls keep their texts
    auto at = [&](std::size_t i) { return i < tag.size() ? tag[i] : TagEntry{}; };
    if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            tabs->setTabText(
                i, Lookup(texts, at(static_cast<std::size_t>(i)).first, tabs->tabText(i)));
        const int tip = at(static_cast<std::size_t>(std::max(0, tabs->currentIndex()))).second;
        tabs->setToolTip(Lookup(texts, tip, tabs->toolTip()));
    } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
        for (int c = 0; c < table->columnCount(); ++c) {
            auto* item = table->horizontalHeaderItem(c);
            if (!item) table->setHorizontalHeaderItem(c, item = new QTableWidgetItem());
            item->setText(Lookup(texts, at(static_cast<std::size_t>(c)).first, item->text()));
        }
        const int tip = at(static_cast<std::size_t>(std::max(0, table->currentColumn()))).second;
        table->setToolTip(Lookup(texts, tip, table->toolTip()));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemText(
                i, Lookup(texts, at(static_cast<std::size_t>(i)).first, combo->itemText(i)));
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        list->setToolTip(Lookup(texts, Number(Tag(w)), list->toolTip()));
    } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(Lookup(texts, at(0).first, line->text()));
        line->setToolTip(Lookup(texts, at(1).first, line->toolTip()));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        if (at(0).first > 0) plain->setPlainText(Lookup(texts, at(0).first, plain->toPlainText()));
        plain->setToolTip(Lookup(texts, at(1).first, plain->toolTip()));
    } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
        if (at(0).first > 0) rich->setPlainText(Lookup(texts, at(0).first, rich->toPlainText()));
        rich->setToolTip(Lookup(texts, at(1).first, rich->toolTip()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(Lookup(texts, at(0).first, button->text()));
        button->setToolTip(Lookup(texts, at(1).first, button->toolTip()));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(Lookup(texts, at(0).first, label->text()));
        label->setToolTip(Lookup(texts, at(1).first, label->toolTip()));
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(Lookup(texts, at(0).first, group->title()));
        group->setToolTip(Lookup(texts, at(1).first, group->toolTip()));
    }
}

} // namespace

std::vector<TagEntry> ParseTag(const std::string& tag)
{
    std::vector<TagEntry> entries;
    if (Trim(tag).empty()) return entries;
    for (const std::string& item : SplitComma(tag)) {
        const std::size_t semi = item.find(';');
        TagEntry e;
        e.first = Number(item.substr(0, semi));
        if (semi != std::string::npos) e.second = Number(item.substr(semi + 1));
        entries.push_back(e);
    }
    return entries;
}

void ApplyLanguage(QWidget* window, const Texts& texts)
{
    if (!window || texts.LanguageFile().empty()) return;
    window->setWindowTitle(Lookup(texts, Number(Tag(window)), window->windowTitle()));
    const std::string fontName = texts.Get(20, "");
    if (!fontName.empty()) {
        QFont font = window->font();
        font.setFamily(QString::fromStdString(fontName));
        const int size = static_cast<int>(Val(texts.Get(21, "")));
        if (size > 0) font.setPointSize(size);
        window->setFont(font);
    }
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const QSize before = control->size();
        control->setFont(window->font());
        TranslateControl(control, texts);
        // A taller font must not push the control over its neighbours.
        if (control->height() > before.height())
            control->resize(control->width(), before.height() + window->font().pointSize());
    }
}

} // namespace px
