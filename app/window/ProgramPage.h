// A page of the main window's page control. Pages bind their controls to the core when the
// program is bound, take the loaded options after start-up, and re-derive the captions that carry
// state after a change of language (never reading a caption back as state).
#pragma once

#include <QWidget>

namespace px {

class Core;
class Program;

class ProgramPage : public QWidget {
public:
    explicit ProgramPage(const char* name, QWidget* parent = nullptr);

    virtual void Bind(Program& program) { program_ = &program; }
    // Before the program goes: nothing of it may be reached from here afterwards.
    virtual void Unbind() { program_ = nullptr; }
    bool Bound() const { return program_ != nullptr; }
    // The options are loaded and the language applied.
    virtual void AfterLoad() {}
    // The language changed: captions that depend on state are set again from the state.
    virtual void AfterLanguage() {}
    // A window operation holds the link: device controls other than its own stop control are
    // disabled meanwhile.
    virtual void SetHeld(bool held) { (void)held; }

protected:
    Program& program() const { return *program_; }
    Core& core() const;

private:
    Program* program_ = nullptr;
};

} // namespace px
