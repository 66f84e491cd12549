// Feedback: the player's one message dialog, for errors and questions. A
// yellow header line ("Vistamo Player"), a message and two buttons that a
// caller may hide; exec() returns 1 for the left button and 0 otherwise
// (right button, Escape, a click outside a non-modal one).
#pragma once

#include <QDialog>

namespace Ui {
class feedback;
}

namespace vistamo::ui {

class TypeBar;

class Feedback : public QDialog {
    Q_OBJECT
public:
    explicit Feedback(QWidget* parent = nullptr);
    ~Feedback() override;

    void setMessage(const QString& text);
    QString message() const;
    void setTitleLine(const QString& text);
    void setLeftButtonText(const QString& text);
    void setRightButtonText(const QString& text);
    void hideLeftButton();
    void hideRightButton();
    // Dialog + frameless, window-modal.
    void makeModal();
    // A message to acknowledge: modal, one "OK" button that Enter presses,
    // and Escape closes it too.
    void makeMessage();
    // A question: modal, with the message and title line, answered by yes
    // (the left button, exec() gives 1) or no (the right one).
    void makeQuestion(const QString& message, const QString& titleLine, const QString& yes, const QString& no);
    // Popup + frameless, no modality: exec() still blocks its caller, and a
    // click outside closes it.
    void makeNonModal();

    TypeBar* header() const { return header_; }
    QPushButton* leftButton() const;
    QPushButton* rightButton() const;

signals:
    void LeftBtnClicked();
    void RightBtnClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Ui::feedback* form_;
    TypeBar* header_;
};

}  // namespace vistamo::ui
