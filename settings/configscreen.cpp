#include "settings/configscreen.h"

#include "acquire/grabber.h"
#include "ui/forms.h"
#include "ui/keycodes.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QWindow>

namespace zarvo {
namespace {

constexpr int ClientWidth = 11190;
constexpr int ClientHeight = 6150;
// The size the Save and Cancel pictures are drawn at.
constexpr QSize ButtonPictureSize(180, 36);

QFont boldArial(double pointSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

// Stands in for a missing picture, so the screen can still be saved or left with the mouse and
// the highlight still shows.
QPixmap textButtonPicture(const QString& caption, bool selected)
{
    QPixmap pix(ButtonPictureSize);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(pix.rect()).adjusted(1, 1, -1, -1);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(selected ? QColor(Qt::white) : QColor(Qt::black));
    p.drawRoundedRect(box, 6, 6);
    p.setPen(selected ? Qt::black : Qt::white);
    p.setFont(boldArial(12));
    p.drawText(box, Qt::AlignCenter, caption);
    return pix;
}

void setButtonPictures(ui::PictureButton* button, const QString& folder, const QString& name,
                       const QString& caption)
{
    const QString plainPath = ui::picturePath(folder, name);
    const QString selectedPath = ui::picturePath(folder, ui::selectedPicture(name));
    QPixmap plain(plainPath);
    QPixmap selected(selectedPath);
    if (plain.isNull() || selected.isNull()) {
        // Both looks drawn alike, rather than a drawn look next to a picture.
        qWarning().noquote() << "Settings screen picture missing:"
                             << (plain.isNull() ? plainPath : selectedPath);
        plain = textButtonPicture(caption, false);
        selected = textButtonPicture(caption, true);
    }
    button->setPictures(plain, selected);
}

QString chooseWithDialog(QWidget* parent, const QString& preset)
{
    // A preset whose folder is not on this machine (the recorder's usual Windows path) would
    // leave the dialog in a folder that does not exist; start at home with the name filled in.
    QString start = preset;
    if (preset.isEmpty() || !QFileInfo(preset).absoluteDir().exists())
        start = QDir::home().filePath(config::ChannelMapFileName);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("ZarvoGuide"), start,
                                        QStringLiteral("Map File (*.map)"));
}

// The lists are only 41 to 73 pixels wide, too narrow for the platform style's margins and
// arrow button to leave room for "10:00 PM"; this style gives the text what the arrow can spare.
class NarrowListStyle : public QProxyStyle
{
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        if (control != CC_ComboBox || (sub != SC_ComboBoxArrow && sub != SC_ComboBoxEditField))
            return QProxyStyle::subControlRect(control, option, sub, widget);
        constexpr int ArrowWidth = 13;
        constexpr int Margin = 1;
        const QRect r = option->rect;
        if (sub == SC_ComboBoxArrow)
            return QRect(r.right() - ArrowWidth, r.top(), ArrowWidth, r.height());
        return QRect(r.left() + Margin, r.top() + Margin, r.width() - ArrowWidth - Margin,
                     r.height() - 2 * Margin);
    }
};

// Descriptions of grabbers asked for before, by program file; the grabbers take a while to
// start, and the list is shown again each time the screen is.
QHash<QString, QString>& descriptionCache()
{
    static QHash<QString, QString> cache;
    return cache;
}

QHash<QString, QString> knownDescriptions()
{
    QHash<QString, QString> byName;
    for (auto it = descriptionCache().cbegin(); it != descriptionCache().cend(); ++it)
        byName.insert(QFileInfo(it.key()).fileName(), it.value());
    return byName;
}

bool isArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

template <typename W> W* control(QWidget* parent, const char* name, QRect twips)
{
    W* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(twips);
    return w;
}

} // namespace

ConfigScreen::ConfigScreen(AppState& state, const ProgramFolder& folder, QWidget* parent)
    : QWidget(parent), m_state(state), m_folder(folder)
{
    setWindowTitle(ui::applicationTitle());
    setFixedSize(ui::pixels(ClientWidth), ui::pixels(ClientHeight));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    setPalette(pal);

    const QFont captionFont = boldArial(12);
    const QFont listFont = boldArial(9.75);
    const auto label = [&](const char* name, QRect twips, const QString& text) {
        QLabel* l = control<QLabel>(this, name, twips);
        l->setText(text);
        l->setFont(captionFont);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return l;
    };
    const auto checkBox = [&](const char* name, QRect twips, const QString& text) {
        QCheckBox* c = control<QCheckBox>(this, name, twips);
        c->setText(text);
        c->setFont(captionFont);
        return c;
    };

    // Created in tab order; the labels are lowered afterwards so that where a label's box
    // reaches under a list or a text box, the control stays on top.
    m_chkSS = checkBox("chkSS", ui::twipRect(240, 360, 6135, 375),
                       QStringLiteral("Write to Showshifter Channels Map"));
    m_lblPath =
        label("lblPath", ui::twipRect(240, 1080, 6135, 375), QStringLiteral("Channels Map File:"));
    m_txtSS = control<QLineEdit>(this, "txtSS", ui::twipRect(2640, 1080, 2775, 375));
    m_cmdSS = control<QPushButton>(this, "cmdSS", ui::twipRect(5520, 1080, 855, 375));
    m_cmdSS->setText(QStringLiteral("Browse"));
    m_chkDST = checkBox("chkDST", ui::twipRect(1080, 2280, 4455, 495),
                        QStringLiteral("Adjust for Daylight Savings:"));
    m_lblDays = label("lblDays", ui::twipRect(1080, 3000, 4455, 375),
                      QStringLiteral("Number of Days to Download:"));
    m_cbxDays = control<QComboBox>(this, "cbxDays", ui::twipRect(4920, 3000, 615, 360));
    m_lblPrime =
        label("lblPrime", ui::twipRect(1920, 3480, 2895, 375), QStringLiteral("Prime Time:"));
    m_cbxPrime = control<QComboBox>(this, "cbxPrime", ui::twipRect(3720, 3480, 1095, 360));
    m_label1 = label("Label1", ui::twipRect(1080, 3960, 4815, 375),
                     QStringLiteral("Opacity (Win 2000 and XP only, 20-100%):"));
    m_txtOpacity = control<QLineEdit>(this, "txtOpacity", ui::twipRect(5880, 3960, 735, 375));
    m_txtOpacity->setText(QStringLiteral("100"));
    m_label5 = label("Label5", ui::twipRect(1080, 4440, 2895, 375), QStringLiteral("Country:"));
    m_combo4 = control<QComboBox>(this, "Combo4", ui::twipRect(2280, 4440, 4335, 360));
    m_picSave = control<ui::PictureButton>(this, "picSave", ui::twipRect(2880, 5280, 2775, 615));
    m_picCancel =
        control<ui::PictureButton>(this, "picCancel", ui::twipRect(6000, 5280, 2775, 615));
    // Kept and saved, never shown.
    m_lblImages = label("lblImages", QRect(), QStringLiteral(" Images Folder:"));
    m_lblImages->hide();
    m_txtImages = control<QLineEdit>(this, "txtImages", QRect());
    m_txtImages->hide();

    for (QWidget* w : {static_cast<QWidget*>(m_cbxDays), static_cast<QWidget*>(m_cbxPrime),
                       static_cast<QWidget*>(m_txtOpacity), static_cast<QWidget*>(m_combo4)})
        w->setFont(listFont);
    auto* listStyle = new NarrowListStyle;
    listStyle->setParent(this);
    for (QComboBox* list : {m_cbxDays, m_cbxPrime, m_combo4})
        list->setStyle(listStyle);
    for (QLabel* l : {m_lblPath, m_lblDays, m_lblPrime, m_label1, m_label5})
        l->lower();

    loadPictures();
    const QList<InstalledGrabber> installed =
        installedGrabbers(m_folder.path(), QString::fromLocal8Bit(qgetenv("PATH")));
    showControlValues(config::controlValuesFor(
        m_state.settings, config::grabberEntries(installed, knownDescriptions())));
    describeGrabbers(installed);

    connect(m_chkSS, &QCheckBox::toggled, this, &ConfigScreen::updatePathControls);
    connect(m_cmdSS, &QPushButton::clicked, this, &ConfigScreen::browse);
    connect(m_picSave, &ui::PictureButton::clicked, this, &ConfigScreen::save);
    connect(m_picCancel, &ui::PictureButton::clicked, this, &ConfigScreen::cancel);

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    // Key releases are taken where they reach the window, before any control sees them, so
    // the focus can be anywhere on the screen.
    qApp->installEventFilter(this);
}

ConfigScreen::~ConfigScreen()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
    // A grabber still describing itself would answer into the list being destroyed with the
    // other children: it is cut off and stopped first.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        delete process;
    }
}

void ConfigScreen::setHooks(Hooks hooks)
{
    if (hooks.chooseChannelMap)
        m_hooks.chooseChannelMap = std::move(hooks.chooseChannelMap);
    if (hooks.showMessage)
        m_hooks.showMessage = std::move(hooks.showMessage);
}

void ConfigScreen::loadPictures()
{
    const QString folder = m_folder.path();
    setButtonPictures(m_picSave, folder, ui::pictures::Save, QStringLiteral("Save"));
    setButtonPictures(m_picCancel, folder, ui::pictures::Cancel, QStringLiteral("Cancel"));
}

void ConfigScreen::describeGrabbers(const QList<InstalledGrabber>& installed)
{
    const QHash<QString, QString> known = knownDescriptions();
    for (const InstalledGrabber& grabber : installed) {
        const int index = m_combo4->findData(grabber.name);
        if (index < 0 || index < config::countryEntries().size() || known.contains(grabber.name))
            continue;
        auto* process = new QProcess(this);
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        connect(process, &QProcess::finished, this,
                [this, process, grabber](int code, QProcess::ExitStatus status) {
                    process->deleteLater();
                    const QString description =
                        code == 0 && status == QProcess::NormalExit
                            ? QString::fromLocal8Bit(process->readAllStandardOutput())
                                  .trimmed()
                                  .section(u'\n', 0, 0)
                            : QString();
                    descriptionCache().insert(grabber.program, description);
                    const int at = m_combo4->findData(grabber.name);
                    if (at >= 0 && !description.isEmpty())
                        m_combo4->setItemText(at,
                                              config::grabberEntryText(grabber.name, description));
                });
        process->start(grabber.program, {QStringLiteral("--description")});
    }
}

void ConfigScreen::showControlValues(const config::ControlValues& values)
{
    m_combo4->clear();
    m_combo4->addItems(values.countries);
    for (int i = 0; i < values.grabbers.size() && i < m_combo4->count(); ++i)
        m_combo4->setItemData(i, values.grabbers.at(i));
    m_combo4->setCurrentIndex(values.countryIndex);
    m_cbxDays->clear();
    m_cbxDays->addItems(config::daysEntries());
    m_cbxDays->setCurrentIndex(values.daysIndex);
    m_cbxPrime->clear();
    m_cbxPrime->addItems(config::primeTimeEntries());
    m_cbxPrime->setCurrentIndex(values.primeIndex);
    m_txtSS->setText(values.channelMapPath);
    m_txtImages->setText(values.imagesFolder);
    m_chkDST->setChecked(values.adjustDST);
    m_chkSS->setChecked(values.writeChannelMap);
    m_txtOpacity->setText(values.opacityText);
    updatePathControls();
}

config::ControlValues ConfigScreen::controlValues() const
{
    config::ControlValues v;
    v.writeChannelMap = m_chkSS->isChecked();
    v.channelMapPath = m_txtSS->text();
    v.adjustDST = m_chkDST->isChecked();
    v.daysIndex = m_cbxDays->currentIndex();
    v.imagesFolder = m_txtImages->text();
    v.primeIndex = m_cbxPrime->currentIndex();
    v.opacityText = m_txtOpacity->text();
    for (int i = 0; i < m_combo4->count(); ++i) {
        v.countries << m_combo4->itemText(i);
        v.grabbers << m_combo4->itemData(i).toString();
    }
    v.countryIndex = m_combo4->currentIndex();
    return v;
}

void ConfigScreen::updatePathControls()
{
    const bool ticked = m_chkSS->isChecked();
    m_txtSS->setEnabled(ticked);
    m_cmdSS->setEnabled(ticked);
    m_lblPath->setEnabled(ticked);
}

void ConfigScreen::browse()
{
    const QString chosen = m_hooks.chooseChannelMap
                               ? m_hooks.chooseChannelMap(this, m_txtSS->text())
                               : chooseWithDialog(this, m_txtSS->text());
    if (chosen.isEmpty())
        return;
    if (!config::isChannelMapFile(chosen)) {
        showMessage(QStringLiteral("Choose the recorder's channel map, a file named %1.")
                        .arg(config::ChannelMapFileName));
        return;
    }
    m_txtSS->setText(chosen);
}

bool ConfigScreen::save()
{
    if (m_closing)
        return false;
    const config::SaveMapping mapping = config::settingsFrom(controlValues());
    if (!mapping.settings) {
        showMessage(mapping.message);
        return false;
    }
    try {
        writeSettingsFile(m_folder.settingsFile(), *mapping.settings);
    } catch (const Error& error) {
        showMessage(error.message());
        return false;
    }
    m_state.settings = *mapping.settings;
    leave(true);
    return true;
}

void ConfigScreen::cancel()
{
    leave();
}

void ConfigScreen::keyUp(int virtualKey)
{
    if (m_closing)
        return;
    // Escape and the remote's Back leave as Cancel does; so does Backspace, except in a text box,
    // where it takes back a letter.
    if (virtualKey == vk::Escape || virtualKey == vk::BrowserBack ||
        (virtualKey == vk::Back && !qobject_cast<QLineEdit*>(QApplication::focusWidget()))) {
        leave();
        return;
    }
    m_picSave->setSelected(false);
    m_picCancel->setSelected(false);
    switch (m_keyboard.keyUp(virtualKey)) {
    case config::ConfigKeyboard::Action::None:
        break;
    case config::ConfigKeyboard::Action::WriteConfigBatch:
        writeConfigBatch();
        break;
    case config::ConfigKeyboard::Action::Close:
        leave();
        return;
    }
    showHighlight();
}

void ConfigScreen::showHighlight()
{
    m_picSave->setSelected(m_keyboard.saveHighlighted());
    m_picCancel->setSelected(m_keyboard.cancelHighlighted());
}

void ConfigScreen::writeConfigBatch()
{
    const QString code = m_keyboard.appendCode();
    showMessage(code);
    // For the grabber the settings name, not the list's present choice: nothing is saved here.
    try {
        zarvo::writeConfigBatch(m_folder.path(), m_state.settings.grabberName, code);
    } catch (const Error& error) {
        showMessage(QStringLiteral("The grabber's configuration batch was not written.\n") +
                    error.message());
    }
}

void ConfigScreen::showMessage(const QString& text)
{
    if (m_hooks.showMessage)
        m_hooks.showMessage(text);
    else
        ui::messageBox(this, text);
}

void ConfigScreen::leave(bool settingsSaved)
{
    if (m_closing)
        return;
    m_closing = true;
    // From here on the screen is on its way out.
    hide();
    deleteLater();
    if (settingsSaved)
        Q_EMIT saved();
    else
        Q_EMIT cancelled();
}

bool ConfigScreen::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    // Every key event of this window passes its QWindow exactly once, before it goes to the
    // focused control and on up through its parents.
    const QWindow* window = qobject_cast<QWindow*>(watched);
    if (!window || window != windowHandle())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // The arrows only move the highlight, and a list changes by mouse only: neither reaches a
    // control (a closed list would take an arrow or a letter as a new choice).
    const bool moveFocus = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    const bool swallow =
        isArrow(key->key()) ||
        (!moveFocus && qobject_cast<QComboBox*>(QApplication::focusWidget()) != nullptr);
    if (key->isAutoRepeat())
        return swallow;
    if (type == QEvent::KeyPress)
        m_pressedKeys.insert(key->key());
    else if (m_pressedKeys.remove(key->key()))
        keyUp(ui::toVirtualKey(key->key()));
    return swallow;
}

void ConfigScreen::closeEvent(QCloseEvent* event)
{
    event->accept();
    leave();
}

} // namespace zarvo
