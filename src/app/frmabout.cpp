#include "app/frmabout.h"

#include "platform/views/webbrowser.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About The Orvel XML Editor"));
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/app/orvel.svg")).pixmap(64, 64));
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    auto* title = new QLabel(QStringLiteral("The Orvel XML Editor."), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(12);
    title->setFont(arial);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* version = new QLabel(QStringLiteral("Version 1.0"), this);
    version->setObjectName(QStringLiteral("lblVersion"));
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version);
    if (!WebBrowser::HasEngine())
        layout->addWidget(new QLabel(WebBrowser::EngineDescription(), this));
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(Command1, 0, Qt::AlignCenter);
}
