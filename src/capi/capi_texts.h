#pragma once

// Texts for the numbers the CAPI stack reports: Info and Reason values, CIP values.

#include <QString>

// Text of a CAPI Info or Reason value: "OK" for 0, otherwise the text (or "unknown error")
// followed by " ($XXXX)" with the code in four upper-case hexadecimal digits.
QString CapiInfoText(quint16 code);

// Text of a CIP value, or the empty string for values without one.
QString CipValueText(quint16 cip);
