#include "WindowLook.h"

#include "ResourceLocator.h"
#include "SkinLabel.h"

#include <QLabel>
#include <QToolButton>

namespace WindowLook {

QFont displayFont()
{
    const QString verdana = QStringLiteral("Verdana");
    QFont font(verdana);
    font.setFamilies({verdana, QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    return font;
}

QToolButton* pictureButton(QWidget* parent, const char* name, const QString& text, const QString& picture,
                           const QString& tip)
{
    const ResourceLocator resources;
    QIcon icon(resources.path(QStringLiteral("buttons/%1.png").arg(picture)));
    icon.addFile(resources.path(QStringLiteral("buttons/%1@2x.png").arg(picture)));
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolTip(tip);
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    return button;
}

QLabel* skinLabelTemplate(QWidget* container, const char* name, QList<QLabel*>& array)
{
    auto* label = new SkinLabel(container);
    label->setObjectName(QString::fromLatin1(name));
    label->setProperty("index", 0);
    label->hide();
    array.append(label);
    return label;
}

} // namespace WindowLook
