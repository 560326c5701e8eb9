#include "mainlayout.h"

void MainLayout::arrange(bool splitterMoved)
{
    text1.left = 10;
    text1.top = ToolbarBand;
    text1.width = clientWidth;
    listView1.width = clientWidth;
    picture2.width = clientWidth;
    picture2.left = 0;
    listView1.left = 0;
    if (splitterMoved)
        listView1.height = clientHeight - picture2.top - statusBarHeight;
    else
        picture2.top = clientHeight - listView1.height - statusBarHeight;
    listView1.top = picture2.top + 40;
    text1.height = picture2.top - 440;
}

int MainLayout::dragSplitter(int dy)
{
    int top = picture2.top + dy;
    if (text1.top + MinPaneTwips >= top)
        top = text1.top + MinPaneTwips;
    if (!(statusBarTop() - MinPaneTwips > top))
        top = statusBarTop() - MinPaneTwips;
    picture2.top = top;
    arrange(true);
    return top;
}
