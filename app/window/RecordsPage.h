// Page 3: the terminal's records, fetched by hand into a grid, sorted, saved through an output
// type and erased; the database dialog; the output type and card-ID length.
#pragma once

#include "ProgramPage.h"

#include <array>
#include <functional>
#include <utility>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace px {

class FrmArchive;
class RecordModel;

class RecordsPage : public ProgramPage {
public:
    RecordsPage();

    void Bind(Program& program) override;
    void Unbind() override;
    void AfterLoad() override;
    void AfterLanguage() override;
    void SetHeld(bool held) override;

    void SetProgress(int value, int maximum);
    void SetCountLabel(const QString& text);
    void SetRecordControlsEnabled(bool enabled);
    void SetUploadRunning(bool running);
    // The other copy of the output type or card-ID length changed.
    void ShowOutputType();
    std::function<void()> onShared;

    QTableView* Grid() const { return fgdRecord_; }
    RecordModel* Model() const { return model_; }
    void Sort(bool ascending);

private:
    void ConnectCommands();
    void Load();
    void ApplyEnabled();
    void ShowPendingProgress();

    QTableView* fgdRecord_;
    RecordModel* model_ = nullptr;
    QTimer* syncTimer_ = nullptr;
    QProgressBar* pgbRecord_;
    QLabel* labCount_;
    std::array<QPushButton*, 3> cmdRecord_{};
    std::array<QPushButton*, 2> fdgCmd_{};
    QPushButton* cmdData_;
    QPushButton* cmdArchive_;
    FrmArchive* archive_ = nullptr;
    QComboBox* cmbType_;
    QLineEdit* txtDigital_;
    QLabel* lblDisp_;
    bool held_ = false;
    bool controls_ = true;
    bool uploading_ = false;
    // The bar's and the label's latest values while an upload defers them to the next batch.
    std::pair<int, int> progress_{0, 0};
    QString count_;
    bool progressPending_ = false;
    bool countPending_ = false;
};

} // namespace px
