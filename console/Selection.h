#pragma once

#include "console/CellGeometry.h"
#include "emulator/ScreenBuffer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Selecting a rectangle of cells with the mouse, copying it as text and
// pasting text back: the grid arithmetic, the state of the one selection of
// the program, the text a copy produces and the bytes a paste sends.
namespace kestra::console {

// The normalised selection: rows startRow..endRow-1, columns
// startColumn..endColumn-1.
struct SelectionRange {
    int startRow = 0;
    int endRow = 0;
    int startColumn = 0;
    int endColumn = 0;
    bool Empty() const { return endRow <= startRow || endColumn <= startColumn; }
    bool operator==(const SelectionRange&) const = default;
};

// The rectangle between two grid points, whichever way it was dragged.
SelectionRange NormaliseSelection(GridPoint anchor, GridPoint current);

// The pixels to repaint when a selection appears or goes. It reaches one row
// further up and down and to even columns, so that double-height pairs and
// double-width characters are repainted whole; under an italic font it spans
// whole rows. None for an empty selection.
std::optional<Rect> SelectionRepaintRect(const CellGeometry& geometry,
                                         const SelectionRange& selection, bool italicFont);

// The cells shown selected. A selection touching one half of a double-height
// pair shows on both halves, and on double-width rows whole pairs are
// selected.
struct SelectionBand {
    int firstRow = 0;
    int endRow = 0;
    int startColumn = 0;
    int endColumn = 0;
    bool Contains(int row, int column, bool doubleWidthRow) const;
    bool operator==(const SelectionBand&) const = default;
};
SelectionBand MakeSelectionBand(const SelectionRange& selection,
                                std::span<const std::uint8_t> lineAttrs);

// Identifies the console window that holds the selection (its address).
using SelectionOwner = const void*;

// What a change of the selection asks of the window side. Repaints and the
// capture concern `window`; the pixel rectangles come from
// SelectionRepaintRect with that window's geometry, invalidated without
// erasing.
struct SelectionUpdate {
    SelectionOwner window = nullptr;
    std::optional<SelectionRange> repaintOld;
    std::optional<SelectionRange> repaintNew;
    bool releaseCapture = false;
    std::optional<bool> copyEnabled; // set: enable (true) or gray (false) Edit/Copy
};

// The one selection of the program. Lives on the window thread.
class SelectionState {
public:
    // Cancels any selection (the result says what that asks, in the old
    // owner's window), then starts a new one at the point; the caller
    // captures the mouse for `owner`.
    SelectionUpdate ButtonDown(SelectionOwner owner, GridPoint point);
    // The point is computed with the owner's geometry, wherever the mouse is.
    SelectionUpdate Move(GridPoint point);
    SelectionUpdate ButtonUp(GridPoint point);
    // The caller repaints only when the owner window is shown with a size.
    SelectionUpdate Cancel();

    SelectionOwner Owner() const { return owner_; }
    bool HeldBy(SelectionOwner window) const { return owner_ != nullptr && owner_ == window; }
    bool Dragging() const { return dragging_; }
    bool Active() const { return active_; }
    GridPoint Anchor() const { return anchor_; }
    GridPoint Current() const { return current_; }
    SelectionRange Range() const { return range_; }

    // The band to paint highlighted in a window: only the owner with an
    // active selection has one.
    std::optional<SelectionBand> BandFor(SelectionOwner window,
                                         std::span<const std::uint8_t> lineAttrs) const;

private:
    SelectionUpdate Track(GridPoint point);

    SelectionOwner owner_ = nullptr;
    bool dragging_ = false;
    bool active_ = false;
    GridPoint anchor_;
    GridPoint current_;
    SelectionRange range_;
};

// Events after which the selection must go.
enum class SelectionEvent {
    ButtonDown,       // a new selection starts
    Copy,             // copied, or asked to copy nothing
    ConsoleActivated, // another console window became the active one
    RepaintAll,       // repaint request of kind 0
    RepaintScrolled,  // repaint request of kind 1
    RepaintCells,     // repaint request of kind 2: plain output keeps it
    ResizeNotice,     // the emulator changed the grid size
    Reset,            // the console's Reset
};

// `inOwnerWindow`: the event happened in the window holding the selection.
bool CancelsSelection(SelectionEvent event, bool inOwnerWindow);

// The character a cell's code is copied as: the terminal's own glyphs become
// the nearest Unicode characters.
char16_t CopiedCharacter(std::uint16_t code);

// The text of the selected cells, in UTF-16 (the clipboard's Unicode text):
// one line per row with a double-height pair once and a double-width row one
// character per pair, trailing blanks of every line dropped, lines ended by
// carriage return and line feed except the last.
std::u16string CopySelectionText(const emulator::ScreenBuffer& screen,
                                 const SelectionRange& selection);

// Pasting sends printable ASCII and carriage returns, one at a time, with a
// pause after each so that a slow server keeps up; line feeds, other control
// characters and anything beyond ASCII are skipped without a pause. Text
// ends at its first NUL.
inline constexpr std::uint16_t kDefaultIntercharDelay = 10;
inline constexpr std::uint16_t kDefaultReturnDelay = 100;

struct PasteStep {
    std::uint8_t byte = 0;
    std::uint16_t pauseMs = 0; // after the byte is written
    bool operator==(const PasteStep&) const = default;
};

std::vector<PasteStep> PasteSchedule(std::u16string_view text, std::uint16_t intercharDelay,
                                     std::uint16_t returnDelay);
// The same for UTF-8 (or any ASCII-compatible) bytes.
std::vector<PasteStep> PasteSchedule(std::string_view text, std::uint16_t intercharDelay,
                                     std::uint16_t returnDelay);

} // namespace kestra::console
