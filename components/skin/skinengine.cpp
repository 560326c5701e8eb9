#include "skinengine.h"

#include "common/componentabi.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

SkinEngine::SkinEngine(QObject *parent) : QObject(parent) { }

QPalette SkinEngine::lightPalette()
{
    QPalette p;
    const QColor window(0xF3, 0xF5, 0xF8);
    const QColor text(0x1F, 0x23, 0x28);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, Qt::white);
        p.setColor(group, QPalette::AlternateBase, QColor(0xEE, 0xF1, 0xF5));
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, QColor(0xE9, 0xED, 0xF2));
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Light, Qt::white);
        p.setColor(group, QPalette::Midlight, QColor(0xE4, 0xE8, 0xEE));
        p.setColor(group, QPalette::Mid, QColor(0xC4, 0xCB, 0xD4));
        p.setColor(group, QPalette::Dark, QColor(0x9A, 0xA3, 0xAE));
        p.setColor(group, QPalette::Shadow, QColor(0x6B, 0x73, 0x7D));
        p.setColor(group, QPalette::Highlight, QColor(0x2F, 0x6F, 0xC6));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Link, QColor(0x1F, 0x5F, 0xB0));
        p.setColor(group, QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
        p.setColor(group, QPalette::ToolTipText, text);
    }
    p.setColor(QPalette::Disabled, QPalette::Window, window);
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0xE9, 0xED, 0xF2));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x9A, 0xA3, 0xAE));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9A, 0xA3, 0xAE));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9A, 0xA3, 0xAE));
    return p;
}

void SkinEngine::InitSubClassing()
{
    auto *window = qobject_cast<QWidget *>(parent());
    if (!window)
        return;
    window->setPalette(lightPalette());

    // Families with Chinese glyphs first, so mixed Latin and Chinese text keeps one look.
    QFont font = window->font();
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback"),
                      QStringLiteral("Sans Serif")});
    window->setFont(font);

    // Flat buttons only; labels and frames keep the palettes their windows give them.
    window->setStyleSheet(QStringLiteral(
            "QPushButton { background-color: #e9edf2; color: #1f2328;"
            " border: 1px solid #aeb7c2; border-radius: 3px; padding: 3px 12px; min-height: 18px; }"
            "QPushButton:hover { background-color: #dde6f1; border-color: #7f9cc4; }"
            "QPushButton:pressed { background-color: #cdd8e6; }"
            "QPushButton:default { border-color: #2f6fc6; }"
            "QPushButton:focus { border-color: #2f6fc6; }"
            "QPushButton:disabled { color: #9aa3ae; border-color: #cfd5dc; }"));
}

VELMORA_COMPONENT("WinXPC_Engine.WindowsXPC", SkinEngine)
