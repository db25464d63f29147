// Random editing through the handler records of the drawing module, then
// undo and redo of everything: every annotation dictionary and its normal
// appearance must come back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "drawing/cda_module.h"
#include "host/core_hft.h"
#include "host/editor.h"
#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_page_annot_list.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

using kshost::Editor;

std::string Written(KPD_Object object) {
  Host::ByteString out;
  Host::ObjectWrite(object, out.get());
  return out.str();
}

// An annotation's dictionary and normal appearance as text, with the
// appearance's identity: what undo and redo must give back.
std::string StateOf(KPD_Dictionary dict) {
  KPD_Object ap = Host::DictGet(dict, "/AP");
  KPD_Stream normal = ap ? Host::DictGet(ap, "/N") : nullptr;
  if (!normal) return Written(dict);
  Host::ByteString data;
  Host::StreamGetData(normal, 0, data.get());
  return Written(dict) + "\nappearance object " + std::to_string(reinterpret_cast<uintptr_t>(normal)) + " " +
         Written(Host::StreamGetDict(normal)) + "\n" + data.str();
}

// A handler record's position as the editor calls it.
template <typename F>
F At(KA_AnnotHandler__* handler, int position) {
  return reinterpret_cast<F>(KS_RECORD_POSITION(handler->callbacks, position));
}

class EditingProperty : public ::testing::Test {
 protected:
  void SetUp() override {
    Host::Bind(kshost::CoreHFT(), nullptr);
    Editor::Get().Reset();
    module_.Init();
  }
  void TearDown() override {
    Editor::Get().Reset();
    module_.Exit();
  }

  // One annotation of each kind, made through the library with generated
  // appearances.
  std::vector<KA_Annot> MakeShapes(KPD_Document pdf, KA_Document doc, std::mt19937& rng) {
    auto list = kwannotation::CKW_PageAnnotList::Create(pdf, 0);
    std::uniform_real_distribution<float> pos(50, 500);
    auto point = [&] { return KS_FloatPoint{pos(rng), pos(rng)}; };
    std::vector<KA_Annot> annots;
    for (const char* kind : {"Line", "PolyLine", "Polygon", "Circle"}) {
      auto kw = list->CreateAnnot(kind);
      KPD_ColorF red{KPD_COLOR_RGB, {1, 0, 0, 0}};
      kw->SetColor(red);
      if (auto* line = dynamic_cast<kwannotation::CKW_Line*>(kw.get())) {
        line->SetLinePoints(point(), point());
      } else if (std::string(kind) == "Circle") {
        KS_FloatPoint a = point();
        kw->SetRect({a.x, a.y, a.x + 40, a.y + 25});
      } else {
        auto* markup = dynamic_cast<kwannotation::CKW_MarkupAnnotImpl*>(kw->GetImpl().get());
        std::vector<KS_FloatPoint> v{point(), point(), point(), point()};
        markup->SetVertices(v);
        KS_FloatRect r{v[0].x, v[0].y, v[0].x, v[0].y};
        for (const KS_FloatPoint& p : v)
          r = {std::min(r.left, p.x), std::min(r.bottom, p.y), std::max(r.right, p.x), std::max(r.top, p.y)};
        kw->SetRect(r);
      }
      EXPECT_TRUE(kw->ResetAppearance()) << kind;
      annots.push_back(Host::AnnotFromDict(doc, kw->GetDict()));
    }
    return annots;
  }

  CDA_Module module_;
};

TEST_F(EditingProperty, UndoAllRestoresEveryAnnotationAndRedoAllRepeatsTheEdits) {
  for (unsigned seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    KPD_Document pdf = Host::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    Host::DocAddPage(pdf, &letter);
    KA_Document doc = Editor::Get().AddDocument(pdf, false);
    KA_PageView view = Editor::Get().SetView(0, 1.5f, 0);
    std::vector<KA_Annot> annots = MakeShapes(pdf, doc, rng);

    std::vector<std::string> before;
    for (KA_Annot a : annots) before.push_back(StateOf(Host::AnnotGetDict(a)));

    std::uniform_int_distribution<int> pick(0, 3), op(0, 3), delta(-40, 40), vertex(0, 3);
    const int angles[] = {90, -90, 45, 30, 180};
    for (int step = 0; step < 12; ++step) {
      KA_Annot annot = annots[pick(rng)];
      KA_AnnotHandler__* handler = Editor::Get().HandlerFor(annot);
      ASSERT_NE(handler, nullptr);
      void* cd = handler->callbacks.clientData;
      KA_AnnotObject object = Editor::Get().ObjectFor(annot);
      ASSERT_NE(object, nullptr);
      KS_FloatRect rect;
      KS_DeviceRect box;
      ASSERT_TRUE(Host::AnnotGetRect(annot, &rect));
      ASSERT_TRUE(Host::PageViewPageRectToDevice(view, &rect, &box));
      switch (op(rng)) {
        case 0: {
          int dx = delta(rng), dy = delta(rng);
          KS_DeviceRect to{box.left + dx, box.top + dy, box.right + dx, box.bottom + dy};
          At<KS_AHRectsProc>(handler, KS_AH_MOVE)(cd, view, object, &box, &to);
          break;
        }
        case 1: {
          KS_DeviceRect to{box.left, box.top, box.right + std::abs(delta(rng)) + 5,
                           box.bottom + std::abs(delta(rng)) + 5};
          At<KS_AHRectsProc>(handler, KS_AH_RESIZE)(cd, view, object, &box, &to);
          break;
        }
        case 2: {
          KS_DevicePoint pt{box.left + delta(rng), box.top + delta(rng)};
          At<KS_AHMovePointProc>(handler, KS_AH_MOVE_POINT)(cd, view, object, vertex(rng), pt);
          break;
        }
        default:
          At<KS_AHRotateProc>(handler, KS_AH_ROTATE)(cd, view, object, angles[std::uniform_int_distribution<int>(0, 4)(rng)]);
      }
    }
    int steps = Host::AppDocUndoCount(doc);
    EXPECT_GT(steps, 0);
    std::vector<std::string> after;
    for (KA_Annot a : annots) after.push_back(StateOf(Host::AnnotGetDict(a)));

    while (Editor::Get().Undo(doc)) {
    }
    for (size_t i = 0; i < annots.size(); ++i)
      EXPECT_EQ(StateOf(Host::AnnotGetDict(annots[i])), before[i]) << "annotation " << i << " after undo";
    int redone = 0;
    while (Editor::Get().Redo(doc)) ++redone;
    EXPECT_EQ(redone, steps);
    for (size_t i = 0; i < annots.size(); ++i)
      EXPECT_EQ(StateOf(Host::AnnotGetDict(annots[i])), after[i]) << "annotation " << i << " after redo";

    Editor::Get().RemoveDocument(doc);
    Host::DocClose(pdf);
    if (HasFailure()) break;  // one failing seed is enough to read
  }
}

}  // namespace
}  // namespace AnnotationPlugin
