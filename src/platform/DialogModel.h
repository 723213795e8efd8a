// The setup dialog's controls as plain values: what the dialog shows for a set of choices and
// what its controls mean once "Go!" is pressed. The toolkit code in Dialog.cpp only moves these
// values in and out of the widgets, so this part is tested without a display.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace platform {

// The lists the dialog offers, in their fixed order; the display's modes are not enumerated.
inline constexpr const char* DIALOG_RESOLUTIONS[] = {"320 x 200", "320 x 240", "640 x 400",
                                                     "640 x 480", "800 x 600", "1024 x 768"};
inline constexpr const char* DIALOG_SAMPLE_RATES[] = {"8000 Hz", "11025 Hz", "22050 Hz",
                                                      "44100 Hz", "48000 Hz"};
inline constexpr int DIALOG_RESOLUTION_COUNT = 6;
inline constexpr int DIALOG_SAMPLE_RATE_COUNT = 5;
// Both lists open on their fourth entry whatever the choices were: "640 x 480" and "44100 Hz".
inline constexpr int DIALOG_INITIAL_ENTRY = 3;

// The state of every control.
struct DialogControls {
  std::string resolution;  // text of the selected resolution; empty when none is selected
  std::string sampleRate;  // text of the selected rate; empty when none is selected
  bool bpp16 = false;      // "16 BPP" selected (else "32 BPP")
  bool fullscreen = false, bilinear = true, mipMapping = true;
  bool use16Bit = true, stereo = true, noSound = false;
  bool lightwave = false;  // "LightWave look"
};

// The controls as the dialog opens for choices: only full screen, the colour depth, No Sound and
// the LightWave look follow the choices; the lists and the four stored-only boxes start the same every time.
DialogControls InitialDialogControls(const DialogChoices& choices);

// Reads the controls into choices as "Go!" does. A list text that doesn't scan leaves the
// values it would have set as they were.
void ReadDialogControls(const DialogControls& controls, DialogChoices& choices);

}  // namespace platform
