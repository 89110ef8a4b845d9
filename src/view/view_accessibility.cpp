#include "view/view_accessibility.h"
#include "view/text_view_control.h"

ViewAccessibility::ViewAccessibility(TextViewControl& view) : view_(view) {}

ViewAccessibility::~ViewAccessibility() = default;

bool ViewAccessibility::Answer(WPARAM, LPARAM, LRESULT&)
{
    return false;
}

void ViewAccessibility::SelectionChanged() {}

void ViewAccessibility::TextChanged() {}

void ViewAccessibility::Disconnect() {}
