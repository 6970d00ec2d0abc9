#pragma once
// Modes and editing of the map control: the interaction mode with its cursor, drawing a polygon,
// moving polygons and vertices, deleting and inserting vertices, copy and paste. It follows the store
// through removals, so a gesture under way keeps to its own polygon.

#include "zvmap.h"
#include "zvpolystore.h"

class MapViewport;
class MapPointer;

class MapEditor : public zv::PolyStore::Listener {
public:
    using Mode = ZVMap::Mode;
    struct Marker {
        bool visible = false;
        double left = 0, top = 0;
    };

    MapEditor(ZVMap* map, zv::PolyStore* store, MapViewport* view);
    void setPointer(MapPointer* pointer) { m_pointer = pointer; }

    Mode mode() const { return m_mode; }
    bool panOn() const { return m_panOn; }
    const Marker& marker(int i) const { return m_markers[i]; }

    void setMode(Mode m);
    void returnToPanOrNormal();
    void DrawPoly();
    void PolyMove();
    void MovePoint();
    void DeletePoint();
    void AddPoint();
    void Pan(bool PanOn);
    void Cancel();
    void Copy(qint32 PolyID);
    void Paste(qint32 NewPolyID);
    void dropGestures();  // nothing may point into the store any more
    void setMessageHandler(std::function<void(const QString&, const QString&)> handler);

    // the store's reports
    void storeChanged() override;
    void aboutToRemove(int i) override;
    void removed(int i) override;
    void edgesRedrawn() override;

private:
    friend class MapPointer;
    friend class MapViewport;

    void followRemoval(int i, int vActive, int vFirst);
    void nearestVertex(float x, float y);
    void moveVertexTo(float x, float y);
    bool edgesAdjacent(int a, int b) const;
    void deleteVertex();
    void insertVertex(int first, int second, float x, float y);
    void rebuildPointsFromEdges(int i);
    void reshade(int i, qint16 level);
    bool edgesOwnedFrom(int k) const;
    void addVertex(float x, float y);
    void takeBackVertex();
    void closeDrawnPolygon();
    void showMessage(const QString& title, const QString& text);

    ZVMap* m_map;
    zv::PolyStore* m_store;
    MapViewport* m_container;
    MapPointer* m_pointer = nullptr;

    Mode m_mode = Mode::Normal;
    bool m_panOn = false;
    bool m_dragging = false;
    int m_drawCount = 0;
    QVector<zv::Point> m_drawPts;
    int m_drawIndex = -1;
    int m_activePoly = 0;
    int m_activePoint = -1;
    int m_firstPoint = -1;
    float m_dragX = 0, m_dragY = 0;
    qint16 m_savedShading = 0;
    QVector<zv::Point> m_dragSavedPts;          // the vertex drag's polygon as it was at the press
    double m_dragShiftX = 0, m_dragShiftY = 0;  // a polygon drag's shift so far (display, at m_dragZoom)
    float m_dragZoom = 1.0f;
    int m_closingIndex = -1;  // the drawn polygon while the host answers PolyIdentified
    int m_pasteIndex = -1;    // the copy while the host answers PolyPasted
    QVector<zv::Point> m_copyBuffer;
    Marker m_markers[2];
    int m_removalActive = -1, m_removalFirst = -1;  // vertices chosen, kept across a removal
    std::function<void(const QString&, const QString&)> m_message;
};
