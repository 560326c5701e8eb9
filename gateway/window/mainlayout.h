#pragma once

// Geometry of the main window's client area in twips (15 per pixel): the toolbar band, the log
// box, the splitter bar, the device list and the status bar at the bottom. Kept free of widgets
// so the layout rules can be checked on their own.
struct TwipsRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct MainLayout
{
    static constexpr int TwipsPerPixel = 15;
    static constexpr int ToolbarBand = 400;
    static constexpr int MinPaneTwips = 500;

    int clientWidth = 0;
    int clientHeight = 0;
    int statusBarHeight = 0;
    TwipsRect text1;
    TwipsRect picture2;
    TwipsRect listView1;

    // Lays the controls out for the current client size; splitterMoved keeps the splitter where
    // it is and gives the device list the rest, otherwise the device list keeps its height.
    void arrange(bool splitterMoved);
    // The splitter dragged by dy twips, kept 500 twips clear of the log box's top and of the
    // status bar; returns the new splitter top.
    int dragSplitter(int dy);

    int statusBarTop() const { return clientHeight - statusBarHeight; }
};
