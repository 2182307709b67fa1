#include "SchedulerPage.h"

#include "Controls.h"
#include "OutputOptionsFrame.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace px {

SchedulerPage::SchedulerPage() : ProgramPage("SSTab_4")
{
    txtTStatus_ = Named(new QPlainTextEdit, "txtTStatus");
    txtTStatus_->setReadOnly(true);
    txtTStatus_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMsg_ = Named(new QLineEdit, "txtMsg");
    txtMsg_->setReadOnly(true);
    txtMsg_->hide();
    fraSettings_ = new OutputOptionsFrame;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtTStatus_, 1);
    layout->addWidget(txtMsg_);
    layout->addWidget(fraSettings_);
}

void SchedulerPage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    fraSettings_->Bind(&program);
}

void SchedulerPage::AfterLoad()
{
    fraSettings_->ShowOptions();
}

void SchedulerPage::SetStatusLogText(const QString& text)
{
    txtTStatus_->setPlainText(text);
    txtTStatus_->verticalScrollBar()->setValue(txtTStatus_->verticalScrollBar()->maximum());
}

void SchedulerPage::SetMessageLine(const QString& text)
{
    txtMsg_->setText(text);
    txtMsg_->setVisible(!text.isEmpty());
}

} // namespace px
