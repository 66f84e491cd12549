// About: the popup with the logo, the version and the notice.
#pragma once

#include <QWidget>

namespace Ui {
class about;
}
class QLabel;

namespace vistamo::ui {

class About : public QWidget {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);
    ~About() override;

    QLabel* versionLabel() const;
    // The project's page that the (hidden) link label would open.
    static const char* const kProjectAddress;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void OnOpenLink();

private:
    Ui::about* form_;
};

}  // namespace vistamo::ui
