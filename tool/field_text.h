// The dialogs' fields as the recorder gets them: the recorder reads GBK (code
// page 936) whatever the PC's code page, so the fields' UTF-16 texts are
// converted explicitly, and their limits count GBK bytes.
#pragma once

#include "framework.h"
#include "messages.h"

// Holds the field to `bytes` GBK bytes, typed or pasted.
void LimitToGbkBytes(CMeasuredEdit& field, int bytes);

// Reads the field's text into `buffer` (`size` bytes) as GBK: whole characters
// up to size - 1 bytes, zero bytes behind them. NotEncodable when one of those
// characters has no GBK form (it stands as '?' in the buffer).
FieldTextResult ReadGbkField(const CWnd& field, char* buffer, int size);
