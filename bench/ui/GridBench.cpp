// The data grid over 100,000 rows: opening it and going to the end, and
// paging through, beside a plain Qt table whose model holds every row.
#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <benchmark/benchmark.h>

#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"

namespace {

constexpr int kRows = 100000;

const std::string& DatabasePath() {
    static const std::string path = [] {
        auto p = std::filesystem::temp_directory_path() / "bench_ui_grid.db";
        std::filesystem::remove(p);
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(p.string(), o);
        db.Exec(sqlite::CreateTableSql("Item", {{"Id_Item", "integer", false, true},
                                               {"Descricao", "text(50)"},
                                               {"Valor", "double"},
                                               {"Data", "date/time"}}));
        db.Exec("begin");
        db.Exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < " + std::to_string(kRows) +
                ") insert into Item select i, 'Produto nº ' || i, i * 1.5, '2024-01-01T00:00:00' from n");
        db.Exec("commit");
        return p.string();
    }();
    return path;
}

struct GridForm {
    GridForm() {
        ui::EnsureQtApplication();
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 640, 480);
        conn = new TSQLConnection(form);
        conn->SetConnectionString("Data Source=" + DatabasePath());
        conn->SetLoginPrompt(false);
        query = new TSQLQuery(form);
        query->SetConnection(conn);
        query->SetSQL("select * from Item order by Id_Item");
        source = new TDataSource(form);
        source->SetDataSet(query);
        grid = new TexDBGrid(form);
        grid->SetParent(form);
        grid->SetAlign(alClient);
        form->Show();
    }
    ~GridForm() { delete form; }
    TForm* form;
    TSQLConnection* conn;
    TSQLQuery* query;
    TDataSource* source;
    TexDBGrid* grid;
};

void BM_GridOpenAndGoToEnd(benchmark::State& state) {
    GridForm f;
    for (auto _ : state) {
        f.query->Open();
        f.grid->SetDataSource(f.source);
        f.query->Last();
        QApplication::processEvents();
        benchmark::DoNotOptimize(f.grid->CellText(f.grid->RowCount() - 1, 1));
        state.PauseTiming();
        state.counters["model_rows"] = f.grid->RowCount();
        state.counters["widgets"] = static_cast<double>(f.grid->Widget()->findChildren<QWidget*>().size());
        state.counters["last_recno"] = f.query->RecNo();
        f.grid->SetDataSource(nullptr);
        f.query->Close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_GridOpenAndGoToEnd)->Unit(benchmark::kMillisecond);

// Scrolling the whole dataset page by page, as PageDown does.
void BM_GridPageThroughAll(benchmark::State& state) {
    GridForm f;
    f.query->Open();
    f.grid->SetDataSource(f.source);
    int pages = 0;
    for (auto _ : state) {
        f.query->First();
        pages = 0;
        while (!f.query->Eof()) {
            f.query->MoveBy(f.grid->VisibleRowCount());
            ++pages;
        }
        QApplication::processEvents();
    }
    state.counters["pages"] = pages;
    state.counters["model_rows"] = f.grid->RowCount();
}
BENCHMARK(BM_GridPageThroughAll)->Unit(benchmark::kMillisecond);

// The peer: a Qt table over a model that holds every row as items.
void BM_QtItemTableLoadAndGoToEnd(benchmark::State& state) {
    ui::EnsureQtApplication();
    for (auto _ : state) {
        sqlite::Database db(DatabasePath());
        sqlite::Statement st(db, "select Id_Item, Descricao, Valor, Data from Item order by Id_Item");
        QStandardItemModel model(0, 4);
        int row = 0;
        while (st.Step()) {
            QList<QStandardItem*> items;
            for (int c = 0; c < 4; ++c) items << new QStandardItem(QString::fromStdString(st.ColumnText(c)));
            model.appendRow(items);
            ++row;
        }
        QTableView view;
        view.resize(640, 480);
        view.setModel(&model);
        view.show();
        view.scrollToBottom();
        QApplication::processEvents();
        state.counters["model_rows"] = model.rowCount();
    }
}
BENCHMARK(BM_QtItemTableLoadAndGoToEnd)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
