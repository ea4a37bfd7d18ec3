/* The product's names and version, shared by the code (as the constants of
   core/constants.h) and by the resource script, so that the version block
   cannot drift from what the program writes into the registry. Plain C
   preprocessor text: the resource compiler reads this file too. */
#ifndef KORVELA_PRODUCT_H
#define KORVELA_PRODUCT_H

#define PRODUCT_NAME "KORVELA ERP"
#define PRODUCT_PUBLISHER "QUENTARO"
#define PRODUCT_VERSION "1.0.20261204"
#define PRODUCT_SETUP_FILE "QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe"

#endif
