#include "console/window/ConsoleTitleStyle.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionComplex>

namespace kestra::console {
namespace {

// The option without its close button, of whichever kind it is.
template <typename Option>
Option WithoutClose(const QStyleOptionComplex& option, QStyle::SubControl close) {
    Option copy(*static_cast<const Option*>(&option));
    copy.subControls &= ~close;
    copy.activeSubControls &= ~close;
    return copy;
}

} // namespace

ConsoleTitleStyle::ConsoleTitleStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

void ConsoleTitleStyle::drawComplexControl(ComplexControl control,
                                           const QStyleOptionComplex* option, QPainter* painter,
                                           const QWidget* widget) const {
    if (control == CC_TitleBar && qstyleoption_cast<const QStyleOptionTitleBar*>(option)) {
        const auto shown = WithoutClose<QStyleOptionTitleBar>(*option, SC_TitleBarCloseButton);
        QProxyStyle::drawComplexControl(control, &shown, painter, widget);
    } else if (control == CC_MdiControls) {
        const auto shown = WithoutClose<QStyleOptionComplex>(*option, SC_MdiCloseButton);
        QProxyStyle::drawComplexControl(control, &shown, painter, widget);
    } else {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
}

QStyle::SubControl ConsoleTitleStyle::hitTestComplexControl(ComplexControl control,
                                                            const QStyleOptionComplex* option,
                                                            const QPoint& position,
                                                            const QWidget* widget) const {
    if (control == CC_MdiControls) {
        // Laid out without the close button, as drawn.
        const auto shown = WithoutClose<QStyleOptionComplex>(*option, SC_MdiCloseButton);
        return QProxyStyle::hitTestComplexControl(control, &shown, position, widget);
    }
    const SubControl hit = QProxyStyle::hitTestComplexControl(control, option, position, widget);
    return control == CC_TitleBar && hit == SC_TitleBarCloseButton ? SC_None : hit;
}

QRect ConsoleTitleStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                        SubControl subControl, const QWidget* widget) const {
    if (control == CC_MdiControls) {
        const auto shown = WithoutClose<QStyleOptionComplex>(*option, SC_MdiCloseButton);
        return QProxyStyle::subControlRect(control, &shown, subControl, widget);
    }
    return QProxyStyle::subControlRect(control, option, subControl, widget);
}

void UseConsoleTitleStyle() {
    if (dynamic_cast<ConsoleTitleStyle*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(new ConsoleTitleStyle);
    }
}

} // namespace kestra::console
