#pragma once

#include <QProxyStyle>

// The program's style: the desktop's, except that the title bars of the
// console windows, and their buttons in the menu bar while they are
// maximised, show no Close button and do not react where it would be. A
// console window cannot be closed, so it must not offer to be; the window
// menu still opens from the title bar.
namespace kestra::console {

class ConsoleTitleStyle : public QProxyStyle {
public:
    // On a fresh instance of the application's current style.
    ConsoleTitleStyle();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;
    SubControl hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                     const QPoint& position, const QWidget* widget) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget) const override;
};

// Makes it the application's style, once.
void UseConsoleTitleStyle();

} // namespace kestra::console
