// Resource identifiers shared by the .rc files and the code.
#pragma once

#define IDI_PROGRAM 1
