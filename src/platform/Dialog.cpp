// The setup dialog: a modal GTK 3 window asking for resolution, colour depth, full screen,
// texture and sound options before the player's window opens.
#include "platform/DialogModel.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

DialogControls InitialDialogControls(const DialogChoices& choices) {
  DialogControls controls;
  controls.resolution = DIALOG_RESOLUTIONS[DIALOG_INITIAL_ENTRY];
  controls.sampleRate = DIALOG_SAMPLE_RATES[DIALOG_INITIAL_ENTRY];
  controls.bpp16 = choices.colourDepth != 32;
  controls.fullscreen = choices.fullscreen;
  controls.bilinear = controls.mipMapping = controls.use16Bit = controls.stereo = true;
  controls.noSound = choices.noSound;
  controls.lightwave = choices.lightwave;
  return controls;
}

void ReadDialogControls(const DialogControls& controls, DialogChoices& choices) {
  int width = 0, height = 0, rate = 0;
  // A text that doesn't scan, or scans to nothing usable, must not become a 0 × 0 window.
  if (std::sscanf(controls.resolution.c_str(), "%i x %i", &width, &height) == 2 && width > 0 &&
      height > 0) {
    choices.width = static_cast<uint32_t>(width);
    choices.height = static_cast<uint32_t>(height);
  }
  if (std::sscanf(controls.sampleRate.c_str(), "%i Hz", &rate) == 1 && rate > 0) {
    choices.sampleRate = static_cast<uint32_t>(rate);
  }
  choices.colourDepth = controls.bpp16 ? 16 : 32;
  choices.fullscreen = controls.fullscreen;
  choices.bilinear = controls.bilinear;
  choices.mipMapping = controls.mipMapping;
  choices.use16Bit = controls.use16Bit;
  choices.stereo = controls.stereo;
  choices.noSound = controls.noSound;
  choices.lightwave = controls.lightwave;
}

namespace {

// The layout follows the dialog's original design in dialog units; a unit is about this many
// pixels here.
constexpr double PIXELS_PER_UNIT = 1.5;

int Units(double units) { return static_cast<int>(units * PIXELS_PER_UNIT + 0.5); }

std::once_flag gtkOnce;
bool gtkReady = false;

// GTK is initialised once per process, on the first thread that asks (the main thread).
bool InitGtk() {
  std::call_once(gtkOnce, [] {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(x11 && *x11) && !(wayland && *wayland)) return;
    // GTK would otherwise take the user's locale for the whole process, and scene files with
    // decimal points would then be read with the locale's decimal comma.
    gtk_disable_setlocale();
    gtkReady = gtk_init_check(nullptr, nullptr);
  });
  return gtkReady;
}

struct DialogWidgets {
  GtkWidget* dialog = nullptr;
  GtkWidget* resolution = nullptr;
  GtkWidget* sampleRate = nullptr;
  GtkWidget* bpp16 = nullptr;
  GtkWidget* bpp32 = nullptr;
  GtkWidget* fullscreen = nullptr;
  GtkWidget* bilinear = nullptr;
  GtkWidget* mipMapping = nullptr;
  GtkWidget* use16Bit = nullptr;
  GtkWidget* stereo = nullptr;
  GtkWidget* noSound = nullptr;
  GtkWidget* lightwave = nullptr;
  GtkWidget* go = nullptr;
};

GtkWidget* CheckBox(const char* text, bool ticked) {
  GtkWidget* box = gtk_check_button_new_with_mnemonic(text);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), ticked);
  return box;
}

GtkWidget* ListOf(const char* const* entries, int count, const std::string& selected) {
  GtkWidget* list = gtk_combo_box_text_new();
  int active = -1;
  for (int i = 0; i < count; ++i) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list), entries[i]);
    if (selected == entries[i]) active = i;
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(list), active);
  return list;
}

std::string SelectedText(GtkWidget* list) {
  gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(list));
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

bool Ticked(GtkWidget* box) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box)); }

// A labelled group box around a grid, spaced like the original's group boxes.
GtkWidget* Group(const char* title, GtkWidget** grid) {
  GtkWidget* frame = gtk_frame_new(title);
  *grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(*grid), Units(2));
  gtk_grid_set_column_spacing(GTK_GRID(*grid), Units(6));
  gtk_container_set_border_width(GTK_CONTAINER(*grid), Units(4));
  gtk_container_add(GTK_CONTAINER(frame), *grid);
  return frame;
}

// Enter presses "Go!" wherever the focus is, as a dialog's default button does; a focused check
// box would otherwise take it as a toggle. Escape closes the dialog (Exit).
gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  GtkDialog* dialog = GTK_DIALOG(data);
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      gtk_dialog_response(dialog, GTK_RESPONSE_OK);
      return TRUE;
    case GDK_KEY_Escape:
      gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

void BuildDialog(DialogWidgets& w, const DialogControls& controls) {
  w.dialog = gtk_dialog_new();
  GtkWindow* window = GTK_WINDOW(w.dialog);
  gtk_window_set_title(window, "DUZUR V3 Engine [Dialog to be fixed]");
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_modal(window, TRUE);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_default_size(window, Units(236), Units(71));

  GtkWidget* layout = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(layout), Units(1));
  gtk_grid_set_row_spacing(GTK_GRID(layout), Units(2));
  gtk_container_set_border_width(GTK_CONTAINER(layout), Units(3));

  // Graphics: resolution list, colour depth, full screen and the two texture options.
  GtkWidget* graphics = nullptr;
  GtkWidget* graphicsFrame = Group("Graphics", &graphics);
  GtkWidget* resolutionLabel = gtk_label_new_with_mnemonic("_Resolution");
  gtk_widget_set_halign(resolutionLabel, GTK_ALIGN_START);
  w.resolution = ListOf(DIALOG_RESOLUTIONS, DIALOG_RESOLUTION_COUNT, controls.resolution);
  gtk_label_set_mnemonic_widget(GTK_LABEL(resolutionLabel), w.resolution);
  w.bpp16 = gtk_radio_button_new_with_mnemonic(nullptr, "_16 BPP");
  w.bpp32 = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(w.bpp16), "_32 BPP");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(controls.bpp16 ? w.bpp16 : w.bpp32), TRUE);
  w.fullscreen = CheckBox("_Fullscreen", controls.fullscreen);
  w.bilinear = CheckBox("_Bilinear Filtering", controls.bilinear);
  w.mipMapping = CheckBox("_Mip-Mapping", controls.mipMapping);
  w.lightwave = CheckBox("_LightWave look", controls.lightwave);
  gtk_grid_attach(GTK_GRID(graphics), resolutionLabel, 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.resolution, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.bpp16, 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.fullscreen, 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.bpp32, 0, 2, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.bilinear, 1, 2, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.mipMapping, 1, 3, 1, 1);
  gtk_grid_attach(GTK_GRID(graphics), w.lightwave, 0, 4, 2, 1);

  // Sound: sample rate, the two stored-only format boxes and No Sound.
  GtkWidget* sound = nullptr;
  GtkWidget* soundFrame = Group("Sound", &sound);
  GtkWidget* rateLabel = gtk_label_new("Samplerate");
  gtk_widget_set_halign(rateLabel, GTK_ALIGN_START);
  w.sampleRate = ListOf(DIALOG_SAMPLE_RATES, DIALOG_SAMPLE_RATE_COUNT, controls.sampleRate);
  w.use16Bit = CheckBox("1_6 Bit", controls.use16Bit);
  w.stereo = CheckBox("_Stereo", controls.stereo);
  w.noSound = CheckBox("_No Sound", controls.noSound);
  gtk_grid_attach(GTK_GRID(sound), rateLabel, 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(sound), w.sampleRate, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(sound), w.use16Bit, 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(sound), w.stereo, 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(sound), w.noSound, 0, 2, 1, 1);

  // The buttons sit under the sound group, right-aligned, as in the original.
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, Units(6));
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  gtk_widget_set_valign(buttons, GTK_ALIGN_END);
  w.go = gtk_button_new_with_mnemonic("_Go!");
  GtkWidget* exitButton = gtk_button_new_with_mnemonic("E_xit");
  gtk_widget_set_size_request(w.go, Units(50), -1);
  gtk_widget_set_size_request(exitButton, Units(50), -1);
  gtk_box_pack_start(GTK_BOX(buttons), w.go, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(buttons), exitButton, FALSE, FALSE, 0);
  g_signal_connect_swapped(w.go, "clicked", G_CALLBACK(+[](GtkDialog* d) {
                             gtk_dialog_response(d, GTK_RESPONSE_OK);
                           }),
                           w.dialog);
  g_signal_connect_swapped(exitButton, "clicked", G_CALLBACK(+[](GtkDialog* d) {
                             gtk_dialog_response(d, GTK_RESPONSE_CANCEL);
                           }),
                           w.dialog);

  gtk_grid_attach(GTK_GRID(layout), graphicsFrame, 0, 0, 1, 2);
  gtk_grid_attach(GTK_GRID(layout), soundFrame, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(layout), buttons, 1, 1, 1, 1);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(w.dialog))), layout);

  gtk_widget_set_can_default(w.go, TRUE);
  gtk_window_set_default(window, w.go);
  g_signal_connect(w.dialog, "key-press-event", G_CALLBACK(OnKeyPress), w.dialog);
  gtk_widget_show_all(w.dialog);
  gtk_widget_grab_focus(w.go);
}

DialogControls ReadWidgets(const DialogWidgets& w) {
  DialogControls controls;
  controls.resolution = SelectedText(w.resolution);
  controls.sampleRate = SelectedText(w.sampleRate);
  controls.bpp16 = Ticked(w.bpp16);
  controls.fullscreen = Ticked(w.fullscreen);
  controls.bilinear = Ticked(w.bilinear);
  controls.mipMapping = Ticked(w.mipMapping);
  controls.use16Bit = Ticked(w.use16Bit);
  controls.stereo = Ticked(w.stereo);
  controls.noSound = Ticked(w.noSound);
  controls.lightwave = Ticked(w.lightwave);
  return controls;
}

}  // namespace

bool HasDisplay() { return InitGtk(); }

DialogResult ShowSetupDialog(DialogChoices& choices) {
  if (!InitGtk()) return DIALOG_UNAVAILABLE;
  DialogWidgets widgets;
  BuildDialog(widgets, InitialDialogControls(choices));
  // Window-manager close and Escape end the run like Exit.
  const gint response = gtk_dialog_run(GTK_DIALOG(widgets.dialog));
  const bool go = response == GTK_RESPONSE_OK;
  if (go) ReadDialogControls(ReadWidgets(widgets), choices);
  gtk_widget_destroy(widgets.dialog);
  // The player's own window opens next: the dialog must be off the screen by then.
  while (gtk_events_pending()) gtk_main_iteration();
  gdk_display_sync(gdk_display_get_default());
  return go ? DIALOG_GO : DIALOG_EXIT;
}

}  // namespace platform
