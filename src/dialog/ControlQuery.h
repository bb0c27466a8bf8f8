#pragma once
// A control's state as text, for the query message of the bus: what a host or a test reads off
// the window without a screen. An edit, static or button gives its text; a list or combo box
// its rows joined by "\n" with the selected row as the result (-1 for none); a check box "0" or
// "1"; a progress bar "pos/low/high". Controls without rows give enabled and visible as bits 32
// and 33 of the result.
#include <cstdint>
#include <string>

class QWidget;

struct ControlState {
    std::int64_t result = 0;
    std::string text;
};

ControlState QueryControl(const QWidget* control, const QWidget* window);
