/* The library's version: the one place it is written. Read by the version
   resource of Quorvel.dll and by the native build's resource table. */
#pragma once

#define QV_PRODUCT_NAME "Quorvel"
#define QV_VERSION_MAJOR 2
#define QV_VERSION_MINOR 1
#define QV_VERSION_PATCH 0
#define QV_VERSION_BUILD 1
#define QV_VERSION_TEXT "2.1.0.1"

/* The product's web address: the hyperlink caption of the three dialogs and
   the page a click on it opens. */
#define QV_PRODUCT_WEB_CAPTION "www.quorvel.example"
#define QV_PRODUCT_WEB_ADDRESS "https://www.quorvel.example/"
