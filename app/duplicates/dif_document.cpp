#include "duplicates/dif_document.h"

bool CDIFDocument::OnNewDocument()
{
    if (!CSDocument::OnNewDocument())
        return false;
    SetTitle(QStringLiteral("Duplicate Images Tool"));
    return true;
}
