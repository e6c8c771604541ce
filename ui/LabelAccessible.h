#pragma once
// Every label reads out what it shows. Qt names an empty label after its buddy
// or its group box, so an empty display would read as its caption; a value's
// caption belongs in its accessible description instead. An accessible name
// set by hand still wins.

// Idempotent; the main window calls it before a screen reader can ask.
void InstallLabelAccessibility();
