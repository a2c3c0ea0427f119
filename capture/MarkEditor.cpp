#include "capture/MarkEditor.h"

CRect MarkEditor::Press(POINT pt, HDC image, SIZE imageSize)
{
    CRect dirty = EndText();
    const MarkTool tool = m_session->tool;
    if (tool == MarkTool::None)
        return dirty;
    m_pending = BeginMark(tool, m_session->style, pt, m_session->list.NextStepNumber());
    if (tool == MarkTool::Step)
        return Keep();
    if (tool == MarkTool::Text) {
        m_typing = true;
        return MarkBounds(m_pending);
    }
    if (tool == MarkTool::Pixelate)
        m_source = ComposeImagePixels(image, imageSize, m_session->list.Marks());
    m_dragging = true;
    return dirty;
}

CRect MarkEditor::Move(POINT pt)
{
    if (!m_dragging)
        return CRect();
    return ContinueMark(m_pending, pt, PixelView{m_source.bits.data(), m_source.width, m_source.height});
}

CRect MarkEditor::Release()
{
    if (!m_dragging)
        return CRect();
    m_dragging = false;
    m_source = ComposedPixels{};
    return Keep();
}

CRect MarkEditor::Keep()
{
    const CRect dirty = MarkBounds(m_pending);
    if (IsMarkWorthKeeping(m_pending))
        m_session->list.Add(m_pending);
    m_pending = Mark{};
    return dirty;
}

CRect MarkEditor::Type(wchar_t ch)
{
    if (!m_typing)
        return CRect();
    const CRect before = MarkBounds(m_pending);
    m_pending.text.push_back(ch);
    const CRect after = MarkBounds(m_pending);
    CRect dirty;
    ::UnionRect(&dirty, &before, &after);
    return dirty;
}

CRect MarkEditor::Backspace()
{
    if (!m_typing)
        return CRect();
    const CRect before = MarkBounds(m_pending);
    if (!m_pending.text.empty())
        m_pending.text.pop_back();
    return before;
}

CRect MarkEditor::EndText()
{
    if (!m_typing)
        return CRect();
    m_typing = false;
    return Keep();
}

CRect MarkEditor::CancelText()
{
    if (!m_typing)
        return CRect();
    m_typing = false;
    const CRect dirty = MarkBounds(m_pending);
    m_pending = Mark{};
    return dirty;
}

CRect MarkEditor::Undo()
{
    CRect dirty = CancelText();
    if (m_session->list.CanUndo()) {
        const CRect gone = MarkBounds(m_session->list.Marks().back());
        m_session->list.Undo();
        ::UnionRect(&dirty, &dirty, &gone);
    }
    return dirty;
}

CRect MarkEditor::Redo()
{
    CRect dirty = CancelText();
    if (m_session->list.Redo()) {
        const CRect back = MarkBounds(m_session->list.Marks().back());
        ::UnionRect(&dirty, &dirty, &back);
    }
    return dirty;
}

void MarkEditor::Begin(MarkSession& session)
{
    m_session = &session;
    m_dragging = m_typing = false;
    m_pending = Mark{};
    m_source = ComposedPixels{};
}

const Mark* MarkEditor::Pending()
{
    if (m_dragging)
        return &m_pending;
    if (!m_typing)
        return nullptr;
    m_shown = m_pending;
    m_shown.text.push_back(L'|');
    return &m_shown;
}
