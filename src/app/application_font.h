#pragma once
// The program's font.

// Gives the application font a Japanese fallback so that Japanese texts never show boxes.
void SetApplicationFonts();
