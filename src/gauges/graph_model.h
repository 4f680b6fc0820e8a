#pragma once
// The strip-chart control's data and arithmetic without a widget: the Datasets / Dataset /
// Points / Point tree with its change notifications, the trimming to FixedPoints, and the
// drawing worked out as lines, boxes and circles in twips for the widget to paint.
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace kx {

class Points;
class Dataset;
class Datasets;

class Point {
public:
    Point(Points* parent, double value) : parent_(parent), value_(value) {}
    double Value() const { return value_; }
    void setValue(double v);

private:
    Points* parent_;
    double value_;
};

// Owns its elements in insertion order; indexes run from 1. An index outside the collection
// throws std::out_of_range.
template <class T> class Collection {
public:
    int Count() const { return int(items_.size()); }
    T& Item(int index) { return *items_.at(checked(index)); }
    const T& Item(int index) const { return *items_.at(checked(index)); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

protected:
    size_t checked(int index) const;
    std::vector<std::unique_ptr<T>> items_;
};

class Points : public Collection<Point> {
public:
    explicit Points(Dataset* owner) : owner_(owner) {}
    Point& Add(double value);
    void Remove(int index);
    void Clear();
    // Raised by every Add, Remove, Clear and value change; passed on to the dataset's owner.
    void changed();

private:
    friend class GraphModel;
    void removeOldest(int count); // trimming: no notification of its own
    Dataset* owner_;
};

// 0x00BBGGRR.
inline constexpr uint32_t rgb(int r, int g, int b) {
    return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
}

struct DatasetProps {
    bool Visible = true;
    uint32_t LineColor = rgb(84, 131, 169);
    uint32_t BarColor = 14591629;
    uint32_t PointColor = 0xFFFFC0;
    uint32_t CapColor = rgb(0, 0, 255);
    bool ShowLines = true;
    bool ShowBars = true;
    bool ShowPoints = true;
    bool ShowCaps = false;
};

class Dataset {
public:
    explicit Dataset(Datasets* parent) : parent_(parent), points_(this) {}
    const DatasetProps& props() const { return props_; }
    // Stores and notifies only when the value differs.
    template <class T> void set(T DatasetProps::*field, T value) {
        if (props_.*field == value) return;
        props_.*field = value;
        changed();
    }
    Points& points() { return points_; }
    const Points& points() const { return points_; }
    void changed();

private:
    Datasets* parent_;
    DatasetProps props_;
    Points points_;
};

class Datasets : public Collection<Dataset> {
public:
    explicit Datasets(std::function<void()> onChanged) : onChanged_(std::move(onChanged)) {}
    Dataset& Add();
    void Remove(int index);
    void Clear();
    void changed() {
        if (onChanged_) onChanged_();
    }

private:
    std::function<void()> onChanged_;
};

struct GraphProps {
    bool Redraw = true;
    int16_t Appearance = 1;
    int16_t BorderStyle = 1;
    uint32_t BackColor = 0xFFFFFF;
    uint32_t AxisColor = 0x000000;
    uint32_t GridColor = rgb(223, 223, 223);
    int32_t FixedPoints = 20;
    int32_t XGridInc = 1;
    double YGridInc = 10;
    double MaxValue = 100;
    double MinValue = 0;
    bool ShowGrid = true;
    bool ShowAxis = false;
    bool FadeIn = false;
    float BarWidth = 0.8f;
};

// What one drawing puts on the image, in twips from the plot's top left, in drawing order.
struct GraphItem {
    enum Kind : uint8_t { Line, Box, Circle } kind;
    int a, b, c, d;  // Line: x1 y1 x2 y2; Box (outlined in black): left top right bottom;
                     // Circle (outlined in black): x y radius
    uint32_t colour; // the line's colour or the fill
    bool operator==(const GraphItem&) const = default;
};
struct GraphDrawing {
    uint32_t back = 0;
    std::vector<GraphItem> items;
};

// The plot's arithmetic for an inner area of the given size in twips.
struct GraphScale {
    int W = 0, H = 0; // right and bottom of the plot
    int Z = 0;        // the zero row
    double range = 0; // MaxValue - MinValue
    int row(double value) const;
};
GraphScale graphScale(const GraphProps& p, int innerWidth, int innerHeight);
// Slot position of point e (1-based) of S slots with bar width B on a plot W wide.
int slotX(int e, int S, int B, int W);
// Rows of the horizontal grid lines.
std::vector<int> gridRows(const GraphProps& p, const GraphScale& s);
GraphDrawing graphDrawing(const GraphProps& p, const Datasets& sets, int innerWidth,
                          int innerHeight);

// The control without its surface: properties, datasets, change handling and trimming. Each
// drawing asked for (Redraw on) calls `draw`.
class GraphModel {
public:
    explicit GraphModel(std::function<void()> draw = {});
    const GraphProps& props() const { return props_; }
    // Stores the property, then: Redraw on refreshes; FixedPoints trims, then redraws; the frame
    // properties call `frame`; every other property redraws.
    template <class T> void set(T GraphProps::*field, T value) {
        props_.*field = value;
        if constexpr (std::is_same_v<T, int32_t>)
            if (field == &GraphProps::FixedPoints) trim();
        if (isFrame(field)) {
            if (frame) frame();
            return;
        }
        Refresh();
    }
    Datasets& datasets() { return sets_; }
    const Datasets& datasets() const { return sets_; }
    void Refresh();
    int drawCount() const { return draws_; }
    std::function<void()> frame; // Appearance or BorderStyle changed

private:
    template <class T> static bool isFrame(T GraphProps::*field) {
        if constexpr (std::is_same_v<T, int16_t>)
            return field == &GraphProps::Appearance || field == &GraphProps::BorderStyle;
        return false;
    }
    void onChanged();
    void trim();

    GraphProps props_;
    Datasets sets_;
    std::function<void()> draw_;
    bool handling_ = false;
    int draws_ = 0;
};

} // namespace kx
