#include "Form8.h"

#include "FileRoutines.h"
#include "GuardedStep.h"
#include "RtfReader.h"
#include "SettingsStore.h"
#include "Twips.h"
#include "WindowLook.h"
#include "modIdentity.h"
#include "modOnTop.h"

#include <QCheckBox>
#include <QFile>
#include <QTextEdit>
#include <QtDebug>

#include <exception>

namespace {

// Client area in twips.
constexpr int kClientWidth = 10290;
constexpr int kClientHeight = 7920;
// A help file is a few dozen KiB; more than this is not one, and is read only this far, which keeps the time
// the reader may take on a damaged one to seconds.
constexpr qint64 kMaxHelpFileBytes = qint64(8) * 1024 * 1024;

} // namespace

Form8::Form8(SettingsStore& settings, clsOnTop& onTop, const ProductIdentity& identity, QString helpFile, SkinHook skin,
             QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
    , m_onTop(onTop)
    , m_identity(identity)
    , m_helpFile(std::move(helpFile))
    , m_skin(std::move(skin))
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Readme/Help"));
    setFont(WindowLook::displayFont());
    m_scale = Twips::scaleOf(*this);
    // The controls sit where the layout table puts them, so the window keeps its size.
    setFixedSize(Twips::toPixels(kClientWidth, m_scale), Twips::toPixels(kClientHeight, m_scale));
    createControls();
}

void Form8::place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Twips::rect(left, top, width, height, m_scale));
}

void Form8::createControls()
{
    rtf1 = new QTextEdit(this);
    rtf1->setObjectName(QStringLiteral("rtf1"));
    rtf1->setReadOnly(true);
    rtf1->setPlainText(QStringLiteral("RichTextBox1"));
    place(rtf1, 0, 0, 10275, 7515);

    Check1 = new QCheckBox(QStringLiteral("Show at Startup"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    place(Check1, 60, 7620, 1995, 255);

    connect(Check1, &QCheckBox::toggled, this, &Form8::Check1_Click);
}

void Form8::runGuarded(const char* what, const std::function<void()>& step) const
{
    ::runGuarded("the help window", what, step);
}

void Form8::Load()
{
    if (m_identity.gUseSkin && m_skin)
        runGuarded("its skin", [this] { m_skin(*this); });

    // fileExists answers false for anything it cannot test, so it serves both as the test that the file is
    // there and as the guard against a test that fails.
    if (!fileExists(m_helpFile)) {
        // Said in the window rather than left blank, so the user knows which file to put back.
        rtf1->setPlainText(QStringLiteral("The help file could not be found: %1").arg(m_helpFile));
        return;
    }

    runGuarded("the help text", [this] {
        QFile file(m_helpFile);
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("the help file %s cannot be read: %s", qPrintable(m_helpFile), qPrintable(file.errorString()));
            return;
        }
        // A file that is not rich text leaves the text as it was; a damaged one shows what could be read.
        QString problem;
        if (!RtfReader::read(file.read(kMaxHelpFileBytes), *rtf1->document(), &problem))
            qWarning("the help file %s: %s", qPrintable(m_helpFile), qPrintable(problem));
        // The text area's cursor was carried along to the end of what was read; the help opens at its top.
        rtf1->moveCursor(QTextCursor::Start);
    });

    runGuarded("its place on top", [this] { SetOnTop(m_onTop, *this, true); });

    runGuarded("its start-up box",
               [this] { Check1->setChecked(m_settings.GetSetting(SettingKeys::showHelp) == u"1"); });
}

void Form8::Check1_Click()
{
    if (!m_settings.SaveSetting(SettingKeys::showHelp, Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0")))
        qWarning("the help window's start-up choice could not be stored");
}
