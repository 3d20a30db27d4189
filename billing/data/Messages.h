#pragma once
// The message boxes the data services show, behind an interface so that this
// layer needs no window toolkit. The window layer installs its own
// implementation at start-up (SetMessages); until then, and in tests, a
// RecordingMessages keeps every message and answers questions from a queue.
#include <deque>
#include <string>
#include <vector>

namespace billing::data {

enum class MessageIcon { None, Information, Exclamation, Error, Question };

// The icon of a notice told under Caption: a success informs, an error is
// one, anything else warns.
MessageIcon NoticeIcon(const std::string& Caption);

class IMessages {
public:
    virtual ~IMessages() = default;
    // A plain message: the application's title as caption, OK only.
    virtual void ShowMessage(const std::string& text) = 0;
    // A message box with a caption and an icon, OK only.
    virtual void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool Confirm(const std::string& text, const std::string& caption) = 0;
};

class RecordingMessages : public IMessages {
public:
    struct Entry {
        std::string text;
        std::string caption;  // empty for a plain message
        MessageIcon icon = MessageIcon::None;
        bool question = false;
    };

    void ShowMessage(const std::string& text) override;
    void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    // Takes the next queued answer; with none queued raises Exception naming
    // the question, so an unexpected question never passes unnoticed.
    bool Confirm(const std::string& text, const std::string& caption) override;

    void QueueAnswer(bool yes) { answers_.push_back(yes); }
    const std::vector<Entry>& Entries() const { return entries_; }
    // The text of the last message, "" when none.
    std::string LastText() const { return entries_.empty() ? std::string() : entries_.back().text; }
    void Clear() { entries_.clear(); answers_.clear(); }

private:
    std::vector<Entry> entries_;
    std::deque<bool> answers_;
};

// The service in use; a RecordingMessages until SetMessages installs another.
IMessages& Messages();
// Installs a service (not owned); nullptr goes back to the recording one.
void SetMessages(IMessages* messages);
// The built-in recording service (what Messages() gives when none is installed).
RecordingMessages& DefaultMessages();

}  // namespace billing::data
