#pragma once
// What the report model tests share: a form that owns a report, a label-like
// component that makes a text command, a pipeline that answers from a map,
// and a listener that records or answers events.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "report/rpBands.h"
#include "report/rpDrawCommand.h"
#include "report/rpGroup.h"
#include "report/rpPipeline.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "tests/report/ReportTestSupport.h"

namespace reporttest {

// A text on a band, as the label control will be: its draw command shows
// its caption in its rectangle with its font.
class TrpTestLabel : public TrpComponent {
public:
    explicit TrpTestLabel(TComponent* AOwner) : TrpComponent(AOwner) {
        SetDrawCommandClass(TrpDrawText::StaticClassType());
    }
    FAT_CLASS(TrpTestLabel)
    std::string Caption() const { return GetCaption(); }
    bool HasFont() const override { return true; }
    bool HasColor() const override { return true; }
    bool IsTextComponent() const override { return true; }
    bool IsMemo() const override { return memo; }
    bool Stretches() const override { return stretch; }
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override {
        TrpComponent::PropertiesToDrawCommand(DrawCommand);
        DrawCommand->SetLeft(mmLeft());
        DrawCommand->SetTop(mmTop());
        DrawCommand->SetWidth(mmWidth());
        DrawCommand->SetHeight(mmHeight());
        if (auto* text = dynamic_cast<TrpDrawText*>(DrawCommand)) {
            text->SetFont(Font());
            text->SetText(GetText());
        }
    }
    bool memo = false;
    bool stretch = false;
};

// A pipeline standing on one record whose fields are the map's keys.
class TTestPipeline : public TrpDataPipeline {
public:
    explicit TTestPipeline(TComponent* AOwner) : TrpDataPipeline(AOwner) {}
    bool Active() const override { return open; }
    bool HasRecord() const override { return open && record; }
    bool Bof() const override { return !record; }
    bool Eof() const override { return !record; }
    bool FieldExists(const std::string& Name) const override { return fields.count(Name) != 0; }
    std::string GetFieldAsString(const std::string& Name) override {
        auto it = fields.find(Name);
        return it == fields.end() ? std::string() : it->second;
    }
    bool open = true;
    bool record = true;
    std::map<std::string, std::string> fields;
};

// Hears the events of its set from whatever it listens to.
class TEventListener : public TrpCommunicator {
public:
    explicit TEventListener(std::initializer_list<int> Events) : TrpCommunicator(nullptr) {
        for (int e : Events) EventSet().set(static_cast<std::size_t>(e));
    }
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        heard.push_back(EventNumber);
        if (answer) answer(Sender, EventNumber, Params);
    }
    std::vector<int> heard;
    std::function<void(TObject*, int, TrsParamList*)> answer;
};

// A form with a report that has no bands yet.
class ModelFixture : public ::testing::Test {
protected:
    ModelFixture() : form(std::make_unique<TComponent>(nullptr)), report(new TrpCustomReport(form.get())) {}

    template <class B>
    B* AddBand() {
        auto* band = new B(form.get());
        band->SetReport(report);
        return band;
    }
    TrpGroup* AddGroup() {
        auto* group = new TrpGroup(form.get());
        group->SetReport(report);
        return group;
    }
    TrpTestLabel* AddLabel(TrpBand* Band) {
        auto* label = new TrpTestLabel(form.get());
        label->SetBand(Band);
        return label;
    }

    std::unique_ptr<TComponent> form;
    TrpCustomReport* report;
};

}  // namespace reporttest
