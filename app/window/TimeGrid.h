// A 32-row time grid (the bell table or the In/Out schedule) over its row model, with the
// in-place time editor over the hour and minute cells and, for the schedule, the direction list
// over the direction cell. Rows shown grey are disabled on the terminal.
#pragma once

#include <QTableWidget>

class QComboBox;

namespace px {

class TimePicker;
class TimeTable;

class TimeGrid : public QTableWidget {
public:
    // listName is the direction list's name, or nullptr for a grid without directions.
    TimeGrid(const char* name, const char* pickerName, const char* listName, const char* tag,
             const QStringList& headers);
    ~TimeGrid() override;

    void Bind(TimeTable& table);
    // Shows the model again (texts and the grey look).
    void ShowTable();
    // Opens the editors on a row (0-based); onDirection puts the focus on the direction list.
    void EditRow(int row, bool onDirection = false);
    void HideEditors();
    TimePicker* Picker() const { return picker_; }
    QComboBox* DirectionList() const { return list_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceEditors();
    void PickerEdited();
    void DirectionChosen(int index);
    void EmptyRow(int row);
    void EditorFocusChanged(QWidget* now);

    TimeTable* table_ = nullptr;
    TimePicker* picker_;
    QComboBox* list_ = nullptr;
    int editRow_ = -1;
    QStringList savedRow_; // the row as it was when its edit began (Esc takes it back)
    bool showing_ = false;
};

} // namespace px
