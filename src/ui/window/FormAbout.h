#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>

class Desktop;
class QPushButton;

// The maker's addresses, shown in the About box and opened by the Help menu.
inline constexpr const char* kMakerHomePage = "https://www.quorvane.example/";
inline constexpr const char* kMakerSupportEmail = "support@quorvane.example";

QUrl homePageUrl();
QUrl supportMailUrl();

// A label that reports a click of the left button (the About box's links).
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The About box: the program's picture, name, version, rights notice and two links (the
// maker's web site and support address) on a white area, and an OK button that is both the
// default and the cancel button.
class TFormAbout : public QDialog {
    Q_OBJECT

public:
    TFormAbout(Desktop& desktop, QWidget* parent = nullptr);

    void LabelDomainClick();
    void LabelEmailClick();

    // The 117 x 200 picture on the left.
    static QPixmap aboutPicture();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Desktop& desktop_;
    QPushButton* buttonOK_;
};
