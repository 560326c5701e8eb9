#pragma once

#include <QPoint>
#include <optional>

// Where an XButton puts its picture and caption, in twips. Free space is split into three equal
// gaps (before the picture, between picture and caption, after the caption); every position is
// rounded to the nearest integer with halves going to the even neighbour.
struct XButtonLayout
{
    enum Style : int { PictureLeft = 0, PictureAbove = 1 };

    struct Input
    {
        double width = 0;         // W
        double height = 0;        // H
        double pictureWidth = 0;  // PW
        double pictureHeight = 0; // PH
        double textWidth = 0;     // TW
        double textHeight = 0;    // TH
        bool hasCaption = false;
        bool hasPicture = false;
        int style = PictureLeft;
    };

    std::optional<QPoint> picture;
    std::optional<QPoint> caption;

    static XButtonLayout compute(const Input &in);
    static int roundHalfEven(double value);
};
