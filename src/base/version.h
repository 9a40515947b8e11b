/* The library's version: the one place it is written. Read by the version
   resource of Quorvel.dll and by the native build's resource table. */
#pragma once

#define QV_PRODUCT_NAME "Quorvel"
#define QV_VERSION_MAJOR 2
#define QV_VERSION_MINOR 1
#define QV_VERSION_PATCH 0
#define QV_VERSION_BUILD 1
#define QV_VERSION_TEXT "2.1.0.1"
/* Who publishes the product and where it lives on the web: the installer's
   entry of the installed programs, the signatures and the dialogs' link. */
#define QV_PUBLISHER "Quorvel"
#define QV_WEB_ADDRESS "https://www.quorvel.example/"
/* The web address as the dialogs' link shows it. */
#define QV_PRODUCT_WEB_CAPTION "www.quorvel.example"
