#ifndef LAKRA_RESOURCE_H
#define LAKRA_RESOURCE_H

/* Shared by lakra.rc and the Win32 code that loads the resources. */

#define IDI_LAKRA 148

#define IDC_ABOUT_WEBSITE 2
#define IDC_ABOUT_TEXT 101

/* The maker's page, opened from the about box. */
#define LAKRA_MAKER_URL "https://kestrovane.example/lakra/"

#define LAKRA_VERSION_TEXT "0.1.0"
#define LAKRA_VERSION_NUMBERS 0, 1, 0, 0

#endif
