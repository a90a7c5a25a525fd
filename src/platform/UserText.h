#pragma once

// Marks a message the user is shown where it arises, in code that knows nothing of Qt.
// Here it stays the product's own text; the window translates it as it shows it, by the
// context given ("Messages"), and lupdate collects it as it does QT_TRANSLATE_NOOP.
#define USER_TEXT(context, text) text
