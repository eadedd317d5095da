#include "batch_state.h"

#include "file_undo.h"

bool g_bBatchFileOperation = false;
QString g_strBatchDestinationFolder;
bool CBatchFileOperation::s_bPermanentDeleteAllowed = false;
bool CBatchFileOperation::s_bCancelled = false;

CBatchFileOperation::CBatchFileOperation()
{
    g_bBatchFileOperation = true;
    g_strBatchDestinationFolder.clear();
    s_bPermanentDeleteAllowed = false;
    s_bCancelled = false;
    CFileUndo::Instance().BeginGroup();
}

CBatchFileOperation::~CBatchFileOperation()
{
    g_bBatchFileOperation = false;
    g_strBatchDestinationFolder.clear();
    s_bPermanentDeleteAllowed = false;
    s_bCancelled = false;
    CFileUndo::Instance().EndGroup();
}
