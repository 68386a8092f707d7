#pragma once

#include <functional>
#include <memory>

#include "core/message/MessagePresenter.h"
#include "core/ports/ApplicationShell.h"

namespace lidora::app {

class MessageView;

// The one "Send a Message" window: built on first use and kept, so closing
// only hides it and the typed text is still there the next time.
class MessageWindow final : public WindowHolder {
public:
    // `parts` is asked once, when the window is first shown, since the light
    // controller and the effects come to life lazily.
    MessageWindow(std::function<MessageParts()> parts, ApplicationShell& application);
    ~MessageWindow() override;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Builds the window on first use, then activates the app and brings the
    // window to the front with the field focused.
    void show() override;
    void showMessageWindow() { show(); }

    // Empty until first shown.
    [[nodiscard]] MessageView* view() const { return view_.get(); }
    [[nodiscard]] MessagePresenter* presenter() const { return presenter_.get(); }

private:
    std::function<MessageParts()> parts_;
    ApplicationShell& application_;
    // The view goes first: it detaches itself from the presenter.
    std::unique_ptr<MessagePresenter> presenter_;
    std::unique_ptr<MessageView> view_;
};

}  // namespace lidora::app
