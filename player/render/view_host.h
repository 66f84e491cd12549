// What the GL view asks of the window that holds it, so that the view is
// built and tested before the main window exists.
#pragma once

namespace vistamo::render {

class ViewHost {
public:
    virtual ~ViewHost() = default;
    // The context lacks shader support: tell the user.
    virtual void showOpenGLError() = 0;
    virtual bool isPlayerPaused() const = 0;
    // True when the player is not playing.
    virtual bool isPlayerStopped() const = 0;
    virtual void setFullscreen() = 0;
};

}  // namespace vistamo::render
