// Stone strips (intact, cracked, ten frames of breaking) and the three hit-effect strips.
#include <algorithm>
#include <cmath>
#include <vector>

#include "resgen.h"

namespace resgen {

Rgba TypeColor(int type) {
  switch (type) {
    case 0: return Col(0.82f, 0.88f, 1.0f);   // steel
    case 1: return Col(1.0f, 0.86f, 0.2f);    // thunder
    default: return Col(0.35f, 0.85f, 1.0f);  // ice
  }
}

Rgba StoneColor(int kind) {
  switch (kind) {
    case 0: return Col(0.72f, 0.36f, 1.0f);   // amethyst crystal
    case 1: return Col(1.0f, 0.42f, 0.1f);    // magma
    default: return Col(0.3f, 0.95f, 0.45f);  // green ore
  }
}

namespace {

constexpr int kCell = 512;
constexpr float kMid = kCell / 2.0f;

struct Vec3 {
  float x, y, z;
};
Vec3 Norm(Vec3 v) {
  float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return l > 0 ? Vec3{v.x / l, v.y / l, v.z / l} : Vec3{0, 0, 1};
}
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

const Vec3 kLight = Norm({-0.5f, -0.65f, 0.6f});

// A faceted body: a fan of triangles from a raised apex to the outline.
struct Body {
  std::vector<Vec2> outline;
  Vec2 apex;
  float height;
};

std::vector<Vec2> RadialOutline(Rng& rng, float cx, float cy, int n, float rmin, float rmax, float jitter,
                                float stretch = 1.0f, float tilt = 0.0f) {
  std::vector<Vec2> pts;
  float phase = rng.Range(0, 2 * kPi);
  for (int i = 0; i < n; ++i) {
    float a = phase + (i + rng.Range(-jitter, jitter)) * 2 * kPi / n;
    float r = rng.Range(rmin, rmax);
    float x = std::cos(a) * r * stretch, y = std::sin(a) * r;
    pts.push_back({cx + x * std::cos(tilt) - y * std::sin(tilt), cy + x * std::sin(tilt) + y * std::cos(tilt)});
  }
  return pts;
}

// Facet normal and the distance to the nearest facet edge at (x, y).
Vec3 FacetNormal(const Body& b, float x, float y, float* edgeDist) {
  float a = std::atan2(y - b.apex.y, x - b.apex.x);
  size_t n = b.outline.size();
  size_t best = 0;
  float bestCover = 1e9f;
  for (size_t i = 0; i < n; ++i) {
    const Vec2& p = b.outline[i];
    const Vec2& q = b.outline[(i + 1) % n];
    float a0 = std::atan2(p.y - b.apex.y, p.x - b.apex.x);
    float a1 = std::atan2(q.y - b.apex.y, q.x - b.apex.x);
    float span = std::remainder(a1 - a0, 2 * kPi);
    float off = std::remainder(a - a0, 2 * kPi);
    if (span < 0) {
      span = -span;
      off = -off;
    }
    float cover = off < 0 ? -off : off > span ? off - span : 0;
    if (cover < bestCover) {
      bestCover = cover;
      best = i;
    }
  }
  const Vec2& p = b.outline[best];
  const Vec2& q = b.outline[(best + 1) % n];
  Vec3 A{b.apex.x, b.apex.y, b.height}, P{p.x, p.y, 0}, Q{q.x, q.y, 0};
  Vec3 nrm = Norm(Cross({P.x - A.x, P.y - A.y, P.z - A.z}, {Q.x - A.x, Q.y - A.y, Q.z - A.z}));
  if (nrm.z < 0) nrm = {-nrm.x, -nrm.y, -nrm.z};
  if (edgeDist)
    *edgeDist = std::min(SegmentDistance(x, y, b.apex.x, b.apex.y, p.x, p.y),
                         SegmentDistance(x, y, b.apex.x, b.apex.y, q.x, q.y));
  return nrm;
}

struct StoneModel {
  int kind;
  std::vector<Body> bodies;  // back to front
  std::vector<std::vector<Vec2>> veins;
};

StoneModel BuildModel(int kind) {
  Rng rng(1000 + kind * 77);
  StoneModel m{kind, {}, {}};
  if (kind == 0) {
    // A cluster of crystal prisms behind one big faceted gem.
    for (int i = 0; i < 4; ++i) {
      float a = -kPi / 2 + (i - 1.5f) * 0.75f + rng.Range(-0.2f, 0.2f);
      float len = rng.Range(85, 100);
      float cx = kMid + std::cos(a) * len * 0.6f, cy = kMid + std::sin(a) * len * 0.6f;
      Body b{RadialOutline(rng, cx, cy, 6, 30, 38, 0.05f, 2.3f, a), {cx - 6, cy - 8}, 55};
      m.bodies.push_back(b);
    }
    m.bodies.push_back({RadialOutline(rng, kMid, kMid + 10, 7, 100, 118, 0.2f), {kMid - 14, kMid - 6}, 110});
  } else if (kind == 1) {
    m.bodies.push_back({RadialOutline(rng, kMid, kMid, 18, 118, 128, 0.15f), {kMid - 18, kMid - 20}, 150});
  } else {
    m.bodies.push_back({RadialOutline(rng, kMid, kMid, 6, 108, 142, 0.12f), {kMid - 10, kMid - 12}, 70});
    // Circuit-like veins of conductive metal.
    for (int v = 0; v < 7; ++v) {
      std::vector<Vec2> path;
      float x = kMid + rng.Range(-70, 70), y = kMid + rng.Range(-70, 70);
      path.push_back({x, y});
      for (int s = 0; s < 4; ++s) {
        int dir = rng.Int(0, 3);
        float len = rng.Range(25, 55);
        x += dir == 0 ? len : dir == 1 ? -len : 0;
        y += dir == 2 ? len : dir == 3 ? -len : 0;
        path.push_back({x, y});
      }
      m.veins.push_back(path);
    }
  }
  return m;
}

Rgba ShadeBody(int kind, const Body& b, float x, float y, uint32_t seed) {
  float edge = 0;
  Vec3 n = FacetNormal(b, x, y, &edge);
  float dc = std::hypot(x - b.apex.x, y - b.apex.y);
  float tex = Fbm(x * 0.035f, y * 0.035f, 4, seed);
  Rgba base = StoneColor(kind);
  Rgba c;
  if (kind == 0) {
    float diff = std::max(0.0f, Dot(n, kLight));
    Vec3 h = Norm({kLight.x, kLight.y, kLight.z + 1});
    float specular = std::pow(std::max(0.0f, Dot(n, h)), 40.0f);
    float inner = std::clamp(1.0f - dc / 140.0f, 0.0f, 1.0f);
    c = Scale(base, 0.28f + 0.75f * diff + 0.35f * inner * inner);
    c = Mix(c, Col(1, 0.85f, 1), 0.15f * tex);
    c.r += specular * 0.9f;
    c.g += specular * 0.9f;
    c.b += specular * 0.9f;
    if (edge < 1.6f) c = Mix(c, Col(1, 0.9f, 1), 0.55f * (1.6f - edge) / 1.6f);
  } else if (kind == 1) {
    // Round body: the facets only hint at form, noise makes the crust.
    float r = dc / 135.0f;
    Vec3 sphere = Norm({(x - b.apex.x) / 135.0f, (y - b.apex.y) / 135.0f, std::sqrt(std::max(0.05f, 1 - r * r))});
    float ex = Fbm((x + 1) * 0.05f, y * 0.05f, 4, seed + 9) - Fbm((x - 1) * 0.05f, y * 0.05f, 4, seed + 9);
    float ey = Fbm(x * 0.05f, (y + 1) * 0.05f, 4, seed + 9) - Fbm(x * 0.05f, (y - 1) * 0.05f, 4, seed + 9);
    Vec3 nn = Norm({sphere.x * 0.7f + n.x * 0.3f - ex * 18, sphere.y * 0.7f + n.y * 0.3f - ey * 18, sphere.z});
    float diff = std::max(0.0f, Dot(nn, kLight));
    c = Scale(Col(0.46f, 0.25f, 0.18f), 0.4f + 0.9f * diff);
    c = Mix(c, Col(0.15f, 0.08f, 0.07f), 0.5f * tex);
    float vein = std::fabs(Fbm(x * 0.018f, y * 0.018f, 5, seed + 3) - 0.5f);
    float hot = std::clamp(1.0f - vein / 0.06f, 0.0f, 1.0f);
    hot = hot * hot;
    c = Mix(c, Mix(Col(1.0f, 0.35f, 0.05f), Col(1.0f, 0.9f, 0.4f), hot), hot);
    float rim = std::clamp((r - 0.75f) / 0.25f, 0.0f, 1.0f);
    c = Mix(c, Col(1.0f, 0.4f, 0.1f), 0.45f * rim * (1 - diff));
  } else {
    float diff = std::max(0.0f, Dot(n, kLight));
    Vec3 h = Norm({kLight.x, kLight.y, kLight.z + 1});
    float specular = std::pow(std::max(0.0f, Dot(n, h)), 14.0f);
    float brushed = Fbm(x * 0.01f, y * 0.25f, 3, seed + 5);
    c = Scale(Col(0.14f, 0.42f, 0.3f), 0.35f + 0.9f * diff + 0.25f * brushed);
    c.r += specular * 0.55f;
    c.g += specular * 0.85f;
    c.b += specular * 0.6f;
    if (edge < 2.0f) c = Mix(c, Col(0.7f, 1.0f, 0.8f), 0.4f * (2.0f - edge) / 2.0f);
  }
  c.r = std::min(c.r, 1.0f);
  c.g = std::min(c.g, 1.0f);
  c.b = std::min(c.b, 1.0f);
  c.a = 1;
  return c;
}

Canvas RenderStone(const StoneModel& m) {
  Canvas body(kCell, kCell);
  for (size_t i = 0; i < m.bodies.size(); ++i) {
    const Body& b = m.bodies[i];
    body.FillPolygonShaded(b.outline, [&](float x, float y) { return ShadeBody(m.kind, b, x, y, 40 + m.kind * 10); });
  }
  for (const auto& v : m.veins) {
    Canvas glow(kCell, kCell);
    for (size_t s = 0; s + 1 < v.size(); ++s) {
      glow.GlowLine(v[s].x, v[s].y, v[s + 1].x, v[s + 1].y, 3.5f, Col(0.5f, 1.0f, 0.3f), 0.9f);
      glow.Line(v[s].x, v[s].y, v[s + 1].x, v[s + 1].y, 2.5f, Col(0.9f, 1.0f, 0.6f));
    }
    // Veins stay inside the stone.
    for (int y = 0; y < kCell; ++y)
      for (int x = 0; x < kCell; ++x) {
        float* g = glow.At(x, y);
        if (g[3] <= 0) continue;
        float k = body.At(x, y)[3];
        Rgba c{g[0] / g[3], g[1] / g[3], g[2] / g[3], 1};
        body.Blend(x, y, c, g[3] * k);
      }
  }
  // Glints: sparkles inside the crystal, metal flecks in the ore, embers on the magma.
  Rng glints(9000 + m.kind);
  Canvas glint(kCell, kCell);
  int count = m.kind == 0 ? 26 : m.kind == 1 ? 18 : 30;
  for (int i = 0; i < count; ++i) {
    float x = glints.Range(kMid - 120, kMid + 120), y = glints.Range(kMid - 120, kMid + 120);
    if (body.At(static_cast<int>(x), static_cast<int>(y))[3] < 0.99f) continue;
    float b = glints.Range(0.4f, 1.0f);
    if (m.kind == 0) {
      glint.GlowDot(x, y, 2.5f * b, Col(1, 0.9f, 1), 0.9f * b);
      glint.GlowLine(x - 7 * b, y, x + 7 * b, y, 0.6f, Col(1, 1, 1), 0.7f * b);
      glint.GlowLine(x, y - 7 * b, x, y + 7 * b, 0.6f, Col(1, 1, 1), 0.7f * b);
    } else if (m.kind == 1) {
      glint.GlowDot(x, y, 2.0f * b, Col(1.0f, 0.6f, 0.15f), 0.8f * b);
    } else {
      glint.FillCircle(x, y, 1.6f * b, Col(0.85f, 1.0f, 0.8f, 0.8f));
    }
  }
  body.Draw(glint, 0, 0);
  // A soft halo in the kind's colour makes the silhouette read against the dark sky.
  Canvas halo = body;
  Rgba hc = StoneColor(m.kind);
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      float* p = halo.At(x, y);
      float a = p[3] * 0.55f;
      p[0] = hc.r * a;
      p[1] = hc.g * a;
      p[2] = hc.b * a;
      p[3] = a;
    }
  halo.Blur(14);
  halo.Draw(body, 0, 0);
  return halo;
}

struct Crack {
  std::vector<Vec2> path;
  float width;
};

std::vector<Crack> BuildCracks(int kind, const Canvas& stone) {
  Rng rng(2000 + kind * 31);
  std::vector<Crack> cracks;
  Vec2 origin{kMid + rng.Range(-20, 20), kMid + rng.Range(-20, 20)};
  int mains = 5;
  float phase = rng.Range(0, 2 * kPi);
  auto inside = [&](float x, float y) {
    int ix = static_cast<int>(x), iy = static_cast<int>(y);
    return ix >= 0 && iy >= 0 && ix < kCell && iy < kCell && stone.At(ix, iy)[3] > 0.9f;
  };
  for (int i = 0; i < mains; ++i) {
    float a = phase + i * 2 * kPi / mains + rng.Range(-0.3f, 0.3f);
    Crack c{{origin}, 6.5f};
    Vec2 p = origin;
    for (int s = 0; s < 16; ++s) {
      a += rng.Range(-0.45f, 0.45f);
      Vec2 q{p.x + std::cos(a) * 11, p.y + std::sin(a) * 11};
      if (!inside(q.x, q.y)) break;
      c.path.push_back(q);
      p = q;
      if (s > 2 && rng.Uniform() < 0.18f) {
        Crack br{{p}, 3.6f};
        float ba = a + (rng.Uniform() < 0.5f ? 0.7f : -0.7f);
        Vec2 bp = p;
        for (int k = 0; k < 5; ++k) {
          ba += rng.Range(-0.4f, 0.4f);
          Vec2 bq{bp.x + std::cos(ba) * 9, bp.y + std::sin(ba) * 9};
          if (!inside(bq.x, bq.y)) break;
          br.path.push_back(bq);
          bp = bq;
        }
        if (br.path.size() > 1) cracks.push_back(br);
      }
    }
    if (c.path.size() > 1) cracks.push_back(c);
  }
  return cracks;
}

void DrawCracks(Canvas& stone, int kind, const std::vector<Crack>& cracks) {
  Canvas dark(kCell, kCell), light(kCell, kCell);
  Rgba glowCol = kind == 0 ? Col(0.95f, 0.8f, 1.0f) : kind == 1 ? Col(1.0f, 0.75f, 0.2f) : Col(0.6f, 1.0f, 0.4f);
  for (const Crack& c : cracks)
    for (size_t i = 0; i + 1 < c.path.size(); ++i) {
      const Vec2& p = c.path[i];
      const Vec2& q = c.path[i + 1];
      float w = c.width * (1.0f - 0.5f * i / c.path.size());
      dark.Line(p.x, p.y, q.x, q.y, w, kind == 1 ? Col(1.0f, 0.55f, 0.1f) : Col(0.06f, 0.03f, 0.08f));
      light.GlowLine(p.x, p.y, q.x, q.y, w * 0.9f, glowCol, kind == 1 ? 0.9f : 0.35f);
      light.Line(p.x + 1.5f, p.y + 1.5f, q.x + 1.5f, q.y + 1.5f, 1.2f, WithAlpha(glowCol, 0.6f));
    }
  // Soft edges: the game scales stones up to three times with nearest pixels, where a
  // hard-edged line shows as steps.
  dark.Blur(1.3f);
  light.Blur(1.2f);
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      float k = std::clamp((stone.At(x, y)[3] - 0.5f) * 2, 0.0f, 1.0f);
      if (k <= 0) continue;
      for (Canvas* layer : {&light, &dark}) {
        float* p = layer->At(x, y);
        if (p[3] > 0) stone.Blend(x, y, Rgba{p[0] / p[3], p[1] / p[3], p[2] / p[3], 1}, p[3] * k);
      }
    }
}

// Ten frames of the stone flying apart along Voronoi fragments, with a flash and debris.
void DrawBreaking(Canvas& out, const Canvas& cracked, int kind, int frame /*1..10*/) {
  Rng rng(3000 + kind * 13);
  std::vector<Vec2> seeds;
  while (seeds.size() < 18) {
    float x = rng.Range(kMid - 140, kMid + 140), y = rng.Range(kMid - 140, kMid + 140);
    if (cracked.At(static_cast<int>(x), static_cast<int>(y))[3] > 0.5f) seeds.push_back({x, y});
  }
  struct Frag {
    float sx = 0, sy = 0, n = 0;
    int x0 = kCell, y0 = kCell, x1 = 0, y1 = 0;
    float speed, spin;
  };
  std::vector<Frag> frags(seeds.size());
  std::vector<int> label(kCell * kCell, -1);
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      if (cracked.At(x, y)[3] <= 0.02f) continue;
      int best = 0;
      float bd = 1e30f;
      for (size_t i = 0; i < seeds.size(); ++i) {
        float d = (x - seeds[i].x) * (x - seeds[i].x) + (y - seeds[i].y) * (y - seeds[i].y);
        if (d < bd) {
          bd = d;
          best = static_cast<int>(i);
        }
      }
      label[y * kCell + x] = best;
      Frag& f = frags[best];
      f.sx += x;
      f.sy += y;
      f.n += 1;
      f.x0 = std::min(f.x0, x);
      f.y0 = std::min(f.y0, y);
      f.x1 = std::max(f.x1, x + 1);
      f.y1 = std::max(f.y1, y + 1);
    }
  for (Frag& f : frags) {
    f.speed = rng.Range(0.7f, 1.15f);
    f.spin = rng.Range(-1.6f, 1.6f);
  }
  float t = frame / 10.0f;
  float travel = 1 - (1 - t) * (1 - t);
  float fade = t < 0.45f ? 1.0f : std::clamp(1 - (t - 0.45f) / 0.55f, 0.0f, 1.0f);
  Rgba kc = StoneColor(kind);

  // Flash from the core in the first frames.
  if (frame <= 3) {
    float k = frame == 1 ? 1.0f : frame == 2 ? 0.6f : 0.25f;
    out.GlowDot(kMid, kMid, 60 + frame * 25, kc, k);
    out.GlowDot(kMid, kMid, 25 + frame * 10, Col(1, 1, 1), k);
  }
  for (size_t i = 0; i < frags.size(); ++i) {
    Frag& f = frags[i];
    if (f.n < 1) continue;
    float cx = f.sx / f.n, cy = f.sy / f.n;
    float dx = cx - kMid, dy = cy - kMid;
    float dl = std::max(1.0f, std::hypot(dx, dy));
    float dist = 200 * travel * f.speed;
    float tx = cx + dx / dl * dist, ty = cy + dy / dl * dist + 40 * t * t;
    float ang = f.spin * t, sc = 1 - 0.35f * t;
    float ca = std::cos(ang), sa = std::sin(ang);
    float half = std::hypot(static_cast<float>(f.x1 - f.x0), static_cast<float>(f.y1 - f.y0)) * 0.5f * sc + 3;
    float ocx = (f.x0 + f.x1) / 2.0f, ocy = (f.y0 + f.y1) / 2.0f;
    float ox = tx + (ocx - cx), oy = ty + (ocy - cy);
    for (int y = static_cast<int>(oy - half - 40); y < oy + half + 40; ++y)
      for (int x = static_cast<int>(ox - half - 40); x < ox + half + 40; ++x) {
        if (x < 0 || y < 0 || x >= kCell || y >= kCell) continue;
        float px = x + 0.5f - tx, py = y + 0.5f - ty;
        float sx = (px * ca + py * sa) / sc + cx, sy = (-px * sa + py * ca) / sc + cy;
        int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
        if (ix < 0 || iy < 0 || ix >= kCell || iy >= kCell || label[iy * kCell + ix] != static_cast<int>(i)) continue;
        Rgba c = cracked.Get(ix, iy);
        // Broken faces catch the core's light, then cool down.
        float heat = std::max(0.0f, 0.5f - t);
        c = Mix(c, kc, heat * 0.6f);
        out.Blend(x, y, c, fade);
      }
  }
  // Debris and sparks.
  Rng prng(4000 + kind);
  for (int p = 0; p < 46; ++p) {
    float a = prng.Range(0, 2 * kPi), sp = prng.Range(120, 250), r0 = prng.Range(0, 60);
    float size = prng.Range(2.0f, 6.0f);
    bool spark = p % 3 == 0;
    float d = r0 + sp * travel;
    float x = kMid + std::cos(a) * d, y = kMid + std::sin(a) * d + 50 * t * t;
    float life = std::clamp(1 - t * prng.Range(0.9f, 1.3f), 0.0f, 1.0f);
    if (life <= 0) continue;
    if (spark) {
      float d0 = r0 + sp * (1 - (1 - std::max(0.0f, t - 0.08f)) * (1 - std::max(0.0f, t - 0.08f)));
      out.GlowLine(kMid + std::cos(a) * d0, kMid + std::sin(a) * d0, x, y, 1.8f, Mix(kc, Col(1, 1, 1), 0.5f),
                   life);
    } else {
      out.FillCircle(x, y, size * (0.6f + 0.4f * life), WithAlpha(Mix(kc, Col(0.5f, 0.45f, 0.45f), 0.6f), life));
    }
  }
}

// The game hits a stone within 20 + depth / 2 pixels of its centre and draws it at
// depth² × 3 / 320² times its cell (0.42 at depth 120, 3.0 at 320). A stone of about this
// radius in the cell keeps what shows near what hits over the depths where stones are
// fought; drawn larger, clicks on its visible edge would miss at the largest scales.
constexpr float kShownRadius = 70;

// Radius of the disc with the area of the pixels at least half opaque.
float ShownRadius(const Canvas& c) {
  int n = 0;
  for (int y = 0; y < c.h(); ++y)
    for (int x = 0; x < c.w(); ++x) n += c.At(x, y)[3] >= 0.5f;
  return std::sqrt(n / kPi);
}

// The cell shrunk by k about its centre, each pixel the average of a 4 x 4 grid of
// samples over its area, so the edges and fine lines stay smooth.
Canvas Shrunk(const Canvas& src, float k) {
  Canvas out(kCell, kCell);
  const int reach = static_cast<int>(kMid * k) + 2;
  for (int y = std::max(0, static_cast<int>(kMid) - reach); y < std::min(kCell, static_cast<int>(kMid) + reach); ++y)
    for (int x = std::max(0, static_cast<int>(kMid) - reach); x < std::min(kCell, static_cast<int>(kMid) + reach); ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
          float sx = (x + (i + 0.5f) / 4 - kMid) / k + kMid, sy = (y + (j + 0.5f) / 4 - kMid) / k + kMid;
          Rgba s = src.Sample(sx, sy);
          acc[0] += s.r;
          acc[1] += s.g;
          acc[2] += s.b;
          acc[3] += s.a;
        }
      float* d = out.At(x, y);
      for (int c = 0; c < 4; ++c) d[c] = acc[c] / 16;
    }
  return out;
}

void MakeStoneStrip(Output& out, int kind) {
  Canvas intact = StoneCell(kind, false);
  Canvas cracked = StoneCell(kind, true);
  const float k = kShownRadius / ShownRadius(intact);
  Canvas strip(kCell * 12, kCell);
  strip.Draw(Shrunk(intact, k), 0, 0);
  strip.Draw(Shrunk(cracked, k), kCell, 0);
  for (int f = 1; f <= 10; ++f) {
    Canvas cell(kCell, kCell);
    DrawBreaking(cell, cracked, kind, f);
    strip.Draw(Shrunk(cell, k), kCell * (f + 1), 0);
  }
  out.Png("res/img/game/stone" + std::to_string(kind) + ".png", strip, false);
}

// Hit effects: frames 0..5 build up, 6..16 are the ones play shows; the last still holds a faint trace.
void DrawSteel(Canvas& c, int frame) {
  Rgba col = TypeColor(0);
  Rng rng(5000);
  if (frame < 6) {
    float k = (frame + 1) / 6.0f;
    c.GlowDot(kMid, kMid, 10 + 20 * k, col, k);
    return;
  }
  float u = (frame - 5) / 12.0f;
  float fade = 1 - u;
  // Crossed slashes.
  float sl = 200 * std::min(1.0f, u * 3);
  for (float a : {0.75f, 2.35f}) {
    float dx = std::cos(a) * sl, dy = std::sin(a) * sl;
    float w = 14 * (1 - u);
    if (w > 0.5f) {
      c.GlowLine(kMid - dx, kMid - dy, kMid + dx, kMid + dy, 10 * fade + 2, col, 0.9f * fade);
      c.Line(kMid - dx, kMid - dy, kMid + dx, kMid + dy, w * 0.5f, WithAlpha(Col(1, 1, 1), fade));
    }
  }
  // Star of blades.
  for (int i = 0; i < 8; ++i) {
    float a = i * kPi / 4 + 0.2f;
    float len = (i % 2 ? 130 : 210) * (0.4f + 0.6f * std::sqrt(u));
    float w = (i % 2 ? 9 : 14) * fade;
    if (w < 0.5f) continue;
    std::vector<Vec2> blade{{kMid + std::cos(a + kPi / 2) * w, kMid + std::sin(a + kPi / 2) * w},
                            {kMid + std::cos(a) * len, kMid + std::sin(a) * len},
                            {kMid + std::cos(a - kPi / 2) * w, kMid + std::sin(a - kPi / 2) * w}};
    c.FillPolygon(blade, WithAlpha(Mix(col, Col(1, 1, 1), 0.5f), 0.85f * fade));
  }
  // Shock ring.
  float rr = 40 + 200 * std::sqrt(u);
  c.Ring(kMid, kMid, rr, 10 * fade + 1, WithAlpha(col, 0.8f * fade));
  c.GlowDot(kMid, kMid, 50 * fade + 5, Col(1, 1, 1), fade);
  // Metal sparks.
  for (int i = 0; i < 28; ++i) {
    float a = rng.Range(0, 2 * kPi), sp = rng.Range(120, 240);
    float d1 = sp * std::sqrt(u), d0 = sp * std::sqrt(std::max(0.0f, u - 0.12f));
    c.GlowLine(kMid + std::cos(a) * d0, kMid + std::sin(a) * d0, kMid + std::cos(a) * d1, kMid + std::sin(a) * d1,
               2.2f, Col(1.0f, 0.95f, 0.8f), fade * 1.2f);
  }
}

void Bolt(Canvas& c, Rng& rng, float x0, float y0, float x1, float y1, float spread, int depth,
          std::vector<std::pair<Vec2, Vec2>>& segs) {
  if (depth == 0) {
    segs.push_back({{x0, y0}, {x1, y1}});
    return;
  }
  float mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
  float dx = x1 - x0, dy = y1 - y0, l = std::hypot(dx, dy);
  float off = rng.Range(-spread, spread);
  mx += -dy / l * off;
  my += dx / l * off;
  Bolt(c, rng, x0, y0, mx, my, spread / 2, depth - 1, segs);
  Bolt(c, rng, mx, my, x1, y1, spread / 2, depth - 1, segs);
}

void DrawThunder(Canvas& c, int frame) {
  Rgba col = TypeColor(1);
  if (frame < 6) {
    float k = (frame + 1) / 6.0f;
    c.GlowDot(kMid, kMid, 8 + 18 * k, col, k);
    return;
  }
  float u = (frame - 5) / 12.0f;
  float fade = 1 - u;
  // The bolts change every other frame so they flicker like real discharges.
  Rng rng(6000 + (frame / 2) * 17);
  c.GlowDot(kMid, kMid, 70 * fade + 10, col, 0.9f * fade);
  c.GlowDot(kMid, kMid, 30 * fade + 4, Col(1, 1, 1), fade);
  int bolts = 7;
  for (int b = 0; b < bolts; ++b) {
    float a = b * 2 * kPi / bolts + rng.Range(-0.3f, 0.3f);
    float len = (120 + 110 * std::min(1.0f, u * 2.5f)) * rng.Range(0.8f, 1.05f);
    std::vector<std::pair<Vec2, Vec2>> segs;
    Bolt(c, rng, kMid, kMid, kMid + std::cos(a) * len, kMid + std::sin(a) * len, 60, 5, segs);
    // A fork from the middle of the bolt.
    const Vec2 fork = segs[segs.size() / 2].first;
    float fa = a + rng.Range(-0.9f, 0.9f);
    Bolt(c, rng, fork.x, fork.y, fork.x + std::cos(fa) * len * 0.4f, fork.y + std::sin(fa) * len * 0.4f, 25, 3, segs);
    for (auto& s : segs) {
      c.GlowLine(s.first.x, s.first.y, s.second.x, s.second.y, 7, col, 0.65f * fade);
      c.GlowLine(s.first.x, s.first.y, s.second.x, s.second.y, 1.6f, Col(1, 1, 0.9f), 1.4f * std::sqrt(fade));
    }
  }
  c.Ring(kMid, kMid, 30 + 180 * u, 4 * fade + 1, WithAlpha(col, 0.7f * fade));
}

void DrawIce(Canvas& c, int frame) {
  Rgba col = TypeColor(2);
  if (frame < 6) {
    float k = (frame + 1) / 6.0f;
    c.GlowDot(kMid, kMid, 10 + 16 * k, col, k);
    return;
  }
  float u = (frame - 5) / 12.0f;
  float fade = 1 - u;
  Rng rng(7000);
  // Frost mist.
  c.GlowDot(kMid, kMid, 60 + 90 * u, Col(0.7f, 0.9f, 1.0f), 0.5f * fade);
  // Six main shards grow, then split and fly apart.
  float grow = std::min(1.0f, u * 2.2f);
  float burst = std::max(0.0f, u - 0.45f) / 0.55f;
  for (int i = 0; i < 12; ++i) {
    float a = i * kPi / 6 + 0.1f;
    bool main = i % 2 == 0;
    float len = (main ? 190 : 110) * grow;
    float w = main ? 20 : 12;
    float push = 90 * burst * burst;
    float bx = kMid + std::cos(a) * push, by = kMid + std::sin(a) * push;
    float alpha = std::clamp(1 - burst * 1.1f, 0.0f, 1.0f);
    if (len < 4 || alpha <= 0) continue;
    auto P = [&](float along, float across) {
      return Vec2{bx + std::cos(a) * along - std::sin(a) * across, by + std::sin(a) * along + std::cos(a) * across};
    };
    std::vector<Vec2> shard{P(0, 0), P(len * 0.2f, w / 2), P(len * 0.85f, w / 2), P(len, 0), P(len * 0.85f, -w / 2),
                            P(len * 0.2f, -w / 2)};
    c.FillPolygonShaded(shard, [&](float x, float y) {
      float d = std::fabs(-(x - bx) * std::sin(a) + (y - by) * std::cos(a)) / (w / 2);
      return WithAlpha(Mix(Col(0.95f, 1, 1), col, d), 0.9f * alpha);
    });
    c.Line(P(0, 0).x, P(0, 0).y, P(len, 0).x, P(len, 0).y, 1.5f, WithAlpha(Col(1, 1, 1), alpha));
    // Side needles, like a snowflake's branches.
    if (main)
      for (float s : {0.45f, 0.7f}) {
        Vec2 root = P(len * s, 0);
        for (float side : {-1.0f, 1.0f}) {
          float ba = a + side * 0.8f;
          float bl = len * 0.22f;
          c.Line(root.x, root.y, root.x + std::cos(ba) * bl, root.y + std::sin(ba) * bl, 4,
                 WithAlpha(Mix(col, Col(1, 1, 1), 0.5f), 0.9f * alpha));
        }
      }
  }
  // Ice splinters and glitter.
  for (int i = 0; i < 30; ++i) {
    float a = rng.Range(0, 2 * kPi), sp = rng.Range(100, 230), sz = rng.Range(3, 7);
    float d = 40 + sp * u;
    float x = kMid + std::cos(a) * d, y = kMid + std::sin(a) * d;
    float tw = 0.5f + 0.5f * std::sin(frame * 1.7f + i);
    c.GlowDot(x, y, sz * 0.6f, Col(0.85f, 0.97f, 1.0f), fade * (0.5f + 0.7f * tw));
    c.Line(x - sz, y, x + sz, y, 1.2f, WithAlpha(Col(1, 1, 1), fade * tw));
    c.Line(x, y - sz, x, y + sz, 1.2f, WithAlpha(Col(1, 1, 1), fade * tw));
  }
  c.Ring(kMid, kMid, 20 + 210 * std::sqrt(u), 6 * fade + 1, WithAlpha(Col(0.8f, 0.95f, 1), 0.8f * fade));
}

void MakeEffectStrip(Output& out, int type) {
  Canvas strip(kCell * 17, kCell);
  for (int f = 0; f < 17; ++f) {
    Canvas cell(kCell, kCell);
    if (type == 0) DrawSteel(cell, f);
    else if (type == 1) DrawThunder(cell, f);
    else DrawIce(cell, f);
    strip.Draw(cell, kCell * f, 0);
  }
  out.Png("res/img/game/efc" + std::to_string(type) + ".png", strip, false);
}

}  // namespace

Canvas StoneCell(int kind, bool cracked) {
  // Several pictures show the stones; render each once.
  static Canvas cache[3][2];
  Canvas& c = cache[kind][cracked ? 1 : 0];
  if (c.w() == 0) {
    if (!cracked) {
      c = RenderStone(BuildModel(kind));
    } else {
      c = StoneCell(kind, false);
      DrawCracks(c, kind, BuildCracks(kind, c));
    }
  }
  return c;
}

void MakeStoneArt(Output& out) {
  for (int k = 0; k < 3; ++k) MakeStoneStrip(out, k);
  for (int t = 0; t < 3; ++t) MakeEffectStrip(out, t);
}

}  // namespace resgen
