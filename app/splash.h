#pragma once
// frmSplash: the small black window with the logo and the version that the program opens with.

#include <QLabel>
#include <QWidget>

namespace zarvo {

class SplashScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SplashScreen(QWidget* parent = nullptr);
    QString versionText() const;

private:
    QLabel* m_logo;
    QLabel* m_version;
};

} // namespace zarvo
