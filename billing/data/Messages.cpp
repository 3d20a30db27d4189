#include "billing/data/Messages.h"

#include "platform/rtl/SysUtils.h"

namespace billing::data {

void RecordingMessages::ShowMessage(const std::string& text) {
    entries_.push_back({text, {}, MessageIcon::None, false});
}

void RecordingMessages::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    entries_.push_back({text, caption, icon, false});
}

bool RecordingMessages::Confirm(const std::string& text, const std::string& caption) {
    entries_.push_back({text, caption, MessageIcon::Question, true});
    if (answers_.empty()) throw Exception("Pergunta sem resposta: " + text);
    bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

namespace {
IMessages* installed = nullptr;
}

RecordingMessages& DefaultMessages() {
    static RecordingMessages recording;
    return recording;
}

IMessages& Messages() {
    return installed ? *installed : DefaultMessages();
}

void SetMessages(IMessages* messages) {
    installed = messages;
}

MessageIcon NoticeIcon(const std::string& Caption) {
    if (Caption == "Sucesso") return MessageIcon::Information;
    if (Caption == "Erro") return MessageIcon::Error;
    return MessageIcon::Exclamation;
}

}  // namespace billing::data
