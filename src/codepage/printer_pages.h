// Which code page a printer's page-select command names. The numbers differ between the command
// sets: ESC/POS `ESC t n` and Star `ESC GS t n` (Star n 4 is PC858, ESC/POS n 4 is PC863).
#pragma once

// The page number (as FindCodePage takes it) that `ESC t n` selects on an ESC/POS printer; 0 for
// a selector whose page is not supported here or not defined.
int EscPosSelectedPage(int n);
// The same for `ESC GS t n` on a Star printer.
int StarSelectedPage(int n);
