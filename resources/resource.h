#ifndef LAKRA_RESOURCE_H
#define LAKRA_RESOURCE_H

/* Shared by lakra.rc and the Win32 code that loads the resources. */

#define IDI_LAKRA 148

/* The preview dialog's artwork: its background banner and the icons of its
   buttons (zoom out, zoom in, save, load, dice, undo, next blend mode, new
   seed, page, reset, PSD, information). */
#define IDB_DIALOG_BACKGROUND 239
#define IDI_BUTTON_ZOOM_OUT 169
#define IDI_BUTTON_ZOOM_IN 5
#define IDI_BUTTON_SAVE 186
#define IDI_BUTTON_LOAD 185
#define IDI_BUTTON_DICE 184
#define IDI_BUTTON_UNDO 187
#define IDI_BUTTON_NEXT_GLUE 188
#define IDI_BUTTON_ECCE 164
#define IDI_BUTTON_PAGE 235
#define IDI_BUTTON_RESET 225
#define IDI_BUTTON_PSD 234
#define IDI_BUTTON_INFORMATION 236

#define IDC_ABOUT_WEBSITE 2
#define IDC_ABOUT_TEXT 101

/* The maker's page, opened from the about box. */
#define LAKRA_MAKER_URL "https://kestrovane.example/lakra/"

#define LAKRA_VERSION_TEXT "0.1.0"
#define LAKRA_VERSION_NUMBERS 0, 1, 0, 0

#endif
