#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/FileRecycler.h"
#include "core/ports/ModalAlert.h"
#include "core/ports/Pasteboard.h"
#include "tests/unit/light/LightFakes.h"

namespace lidora::testing {

struct FakePasteboard final : Pasteboard {
    void clearContents() override {
        ++clears;
        text.reset();
    }
    bool setString(const std::string& value) override {
        if (refuse) {
            return false;
        }
        text = value;
        return true;
    }
    std::optional<std::string> string() const override { return text; }
    std::optional<std::string> text;
    int clears = 0;
    bool refuse = false;
};

// Answers alerts in order (the first button when none is scripted) and
// notes each in the trace by its message.
struct FakeAlerts final : AlertRunner {
    explicit FakeAlerts(Trace& trace) : trace_(trace) {}
    int runModal(const ModalAlert& alert) override {
        trace_.push_back("alert: " + alert.messageText);
        shown.push_back(alert);
        if (answers.empty()) {
            return kAlertFirstButtonReturn;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<int> answers;
    std::vector<ModalAlert> shown;

private:
    Trace& trace_;
};

struct FakeRecycler final : FileRecycler {
    explicit FakeRecycler(Trace& trace) : trace_(trace) {}
    std::optional<std::string> recycle(const std::string& path) override {
        trace_.push_back("recycle " + path);
        return error;
    }
    std::optional<std::string> error;

private:
    Trace& trace_;
};

}  // namespace lidora::testing
