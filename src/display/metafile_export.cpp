#include "display/metafile_export.h"

#include "display/emf_canvas.h"
#include "display/graph.h"

bool ExportGraphMetafile(CGraph& graph, const SMetafileRef& ref, SSize size, const QString& strPath,
                         QString* pstrError) {
    CEmfCanvas canvas(ref.m_size.cx, ref.m_size.cy, ref.m_dDpiX, ref.m_dDpiY);
    graph.DrawMetafile(canvas, size);
    return canvas.Save(strPath, pstrError);
}
