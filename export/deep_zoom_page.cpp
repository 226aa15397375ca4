#include "export/deep_zoom.h"

namespace tessaline {

// Leaflet's plain CRS maps zoom z to a scale of 2^z, so with the picture's
// full size at zoom maxLevel every zoom is exactly a pyramid level and the
// tile URL needs no arithmetic. The right column and the bottom row of a
// level hold smaller tiles (e.g. 256 x 28); Leaflet's own tile layer would
// stretch them to a whole tile, so each tile is shown at its own size. A
// link may name a view as #ZOOM/X/Y (the centre in full-size pixels); the
// photo under the centre, or under the last click, is named in the corner.
std::string DeepZoomPage() {
  return R"html(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>tessaline mosaic</title>
<link rel="stylesheet" href="leaflet/leaflet.css">
<style>
html, body, #map { margin: 0; height: 100%; background: #202020; }
#photo { position: absolute; left: 8px; bottom: 8px; z-index: 1000; padding: 4px 8px;
         font: 14px sans-serif; color: #fff; background: rgba(0, 0, 0, 0.6); }
#photo:empty { display: none; }
</style>
</head>
<body>
<div id="map"></div>
<div id="photo"></div>
<script src="leaflet/leaflet.js"></script>
<script src="cells.js"></script>
<script>
(function () {
  var m = tessalineMosaic;
  var map = L.map('map', { crs: L.CRS.Simple, minZoom: 0, maxZoom: m.maxLevel + 2 });
  function point(x, y) { return map.unproject([x, y], m.maxLevel); }
  var bounds = L.latLngBounds(point(0, m.height), point(m.width, 0));
  var Pyramid = L.GridLayer.extend({
    createTile: function (coords, done) {
      var tile = document.createElement('img');
      tile.alt = '';
      tile.setAttribute('role', 'presentation');
      tile.onload = function () {
        tile.style.width = tile.naturalWidth + 'px';
        tile.style.height = tile.naturalHeight + 'px';
        done(null, tile);
      };
      tile.onerror = function (e) { done(e, tile); };
      tile.src = 'mosaic_files/' + coords.z + '/' + coords.x + '_' + coords.y + '.jpg';
      return tile;
    }
  });
  new Pyramid({
    tileSize: m.tileSize, bounds: bounds, noWrap: true,
    minZoom: 0, maxZoom: m.maxLevel + 2, maxNativeZoom: m.maxLevel
  }).addTo(map);
  map.setMaxBounds(bounds.pad(0.5));

  function photoAt(latlng) {
    var p = map.project(latlng, m.maxLevel);
    var column = Math.floor(p.x / m.cellWidth), row = Math.floor(p.y / m.cellHeight);
    if (column < 0 || row < 0 || column >= m.divX || row >= m.divY) return '';
    var index = m.cells[row * m.divX + column];
    return index >= 0 ? m.names[index] : '';
  }
  function name(latlng) {
    var photo = photoAt(latlng);
    document.getElementById('photo').textContent = photo;
    return photo;
  }
  map.on('click', function (e) {
    var photo = name(e.latlng);
    if (!photo) return;
    var text = document.createElement('span');
    text.textContent = photo;
    L.popup().setLatLng(e.latlng).setContent(text).openOn(map);
  });
  function viewFromLink() {
    var parts = location.hash.slice(1).split('/').map(Number);
    if (parts.length !== 3 || !parts.every(isFinite)) return false;
    var centre = point(parts[1], parts[2]);
    map.setView(centre, parts[0]);
    name(centre);
    return true;
  }
  if (!viewFromLink()) map.fitBounds(bounds);
  window.addEventListener('hashchange', viewFromLink);
})();
</script>
</body>
</html>
)html";
}

}  // namespace tessaline
