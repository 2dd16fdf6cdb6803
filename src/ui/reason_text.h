#pragma once
// The libraries' reasons in the program's language. A reason is matched against the
// catalogue it was built from (reason.h), and its kind's own text is shown with its values;
// the library's or the system's own words stay as they are, quoted. English shows the
// reason exactly as the libraries wrote it.

#include "reason.h"

#include <QString>

#include <string>

// `reason` in the program's language; a reason of no known kind is shown quoted after a
// translated lead.
QString ReasonText(const std::string& reason);

// The source text (Japanese) of `kind`, as given to QCoreApplication::translate in the
// "Reason" context; placeholders as in the English template.
const char* ReasonSourceText(framesifter::ReasonKind kind);
