// Rules of the capture options dialog that need no window: the file name's
// extension, which controls are editable, where the magnifier sits and the
// stored dialog position.
#pragma once

#include <windows.h>

#include "capture/VirtualScreen.h"
#include "framework/CString.h"
#include "framework/Geometry.h"

// The name with its last extension (from the last ".") replaced by
// extension: "shot.jpg" with "gif" gives "shot.gif", "shot" gives
// "shot.jpg", and with no format "shot.jpg" gives "shot.".
CString NormalizeFileName(const CString& name, const CString& extension);

// The file name and the formats matter unless the image goes to the
// clipboard only.
bool IsFileNameEditable(bool clipboard, bool save, bool upload);

// The rectangle grown outwards to even edges (left and top lose, right and
// bottom gain their remainder of 2), so each zoom square starts on a whole
// device pixel pair.
CRect EvenEdges(const CRect& rc);

// "WindowPosOptions": flags, showCmd, the minimised and maximised positions
// and the normal top-left corner; the size is not stored.
CString FormatWindowPos(const WINDOWPLACEMENT& wp);
// Reads the eight numbers into *pOut (the other fields are left alone);
// false for fewer than eight.
bool ParseWindowPos(const CString& text, WINDOWPLACEMENT* pOut);
// The placement to restore: the stored one with the current normal size,
// when it parses and its top-left corner (screen coordinates) lies on one of
// the monitors, wherever that is around the primary one; false means centre
// the dialog instead.
bool StoredPlacementToRestore(const CString& text, const WINDOWPLACEMENT& current, const MonitorLayout& monitors,
                              WINDOWPLACEMENT* pOut);
