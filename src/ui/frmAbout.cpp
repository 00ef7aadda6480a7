#include "frmAbout.h"

#include "GuardedStep.h"
#include "ResourceLocator.h"
#include "SkinLabel.h"
#include "Twips.h"
#include "WindowLook.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QLabel>

#include <utility>

namespace {

// Client area in twips.
constexpr int kClientWidth = 7455;
constexpr int kClientHeight = 2925;

// The window is whole without its skin.
void runGuarded(const char* what, const std::function<void()>& step)
{
    ::runGuarded("the About window", what, step);
}

} // namespace

frmAbout::frmAbout(const ProductIdentity& identity, ProductRecord record, SkinHook skin, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_identity(identity)
    , m_record(std::move(record))
    , m_skin(std::move(skin))
{
    setObjectName(QStringLiteral("frmAbout"));
    setFont(WindowLook::displayFont());
    m_scale = Twips::scaleOf(*this);
    setFixedSize(Twips::toPixels(kClientWidth, m_scale), Twips::toPixels(kClientHeight, m_scale));
    createControls();
}

QLabel* frmAbout::label(const char* name, const QString& text, int left, int top, int width, int height, bool skinnable)
{
    QLabel* control = skinnable ? new SkinLabel(text, this) : new QLabel(text, this);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(Twips::rect(left, top, width, height, m_scale));
    return control;
}

void frmAbout::createControls()
{
    // A little wider than the client area, as it was drawn: the right edge is cut off.
    Picture1 = label("Picture1", QString(), 0, 0, 7515, 1035);
    Picture1->setScaledContents(true);
    Picture1->setProperty("controlKind", QStringLiteral("PictureBox"));
    Picture1->setPixmap(QPixmap(ResourceLocator().path(QStringLiteral("pictures/about.jpg"))));

    // The product name is the window's heading, so it stands out from the rows below it.
    Label1 = label("Label1", QString(), 120, 1200, 7095, 435, true);
    QFont heading = font();
    heading.setPointSize(14);
    heading.setBold(true);
    Label1->setFont(heading);

    QFont caption = font();
    caption.setPointSize(12);
    caption.setBold(true);
    Label2 = label("Label2", QStringLiteral("Version:"), 180, 1680, 2295, 315);
    lblVersion = label("lblVersion", QString(), 2580, 1680, 4635, 315, true);
    Label3 = label("Label3", QStringLiteral("Owned By:"), 180, 2100, 2295, 315);
    lblCompany = label("lblCompany", QString(), 2580, 2100, 4635, 315, true);
    Label4 = label("Label4", QStringLiteral("Website:"), 180, 2520, 2295, 315);
    lblWebsite = label("lblWebsite", QString(), 2580, 2520, 4635, 315, true);
    for (QLabel* row : {Label2, Label3, Label4})
        row->setFont(caption);
    // The product's own texts are skin labels from the start (made so above); the label step leaves them be.

    // Drawn below the client area, so it is not seen; it still says who made the program.
    Label5 = label("Label5",
                   QStringLiteral("Tarnwick is made by Hollin. It blocks the popup windows that web pages open in "
                                  "your browsers, and lets through those of the sites you allow.\n"
                                  "\u00A9 2026 Hollin. All rights reserved."),
                   120, 3300, 7215, 1275);
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    WindowLook::skinLabelTemplate(this, "SkinLabel1", SkinLabel1)
        ->setGeometry(Twips::rect(480, 2940, 555, 195, m_scale));
}

void frmAbout::Load()
{
    setWindowTitle(QStringLiteral("About ") + m_identity.gProgramName);
    Label1->setText(m_record.ProductName);
    lblCompany->setText(m_record.CompanyName);
    // Major and minor as plain numbers: 3.0, where the record's own text reads 3.00.
    lblVersion->setText(QString::number(m_record.Major) + u'.' + QString::number(m_record.Minor));
    lblWebsite->setText(m_record.Comments);
    if (m_identity.gUseSkin) {
        runGuarded("its skin labels", [this] { ReplaceLabels(*this, SkinLabel1, LabelScope::AllLabels); });
        if (m_skin)
            runGuarded("its skin", [this] { m_skin(*this); });
    }
}
