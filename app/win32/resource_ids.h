#pragma once

// The program icon is the resource "IDI_ICON1" of app/veltrane.rc. Resource ids of the Win32
// window's pictures (shared by the resource script and the code).
#define about_icon_resource 2
#define picture_resource 10
#define picture_2x_resource 11
