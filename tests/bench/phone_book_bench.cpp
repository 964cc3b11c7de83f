// The phone book at address-book sizes: reading a vCard file, the import, and the search an
// incoming call runs (exact, and with other notations of the number recognised).

#include "callnotify/phone_book.h"
#include "outlook/vcard_outlook.h"
#include "outlook/vcard_reader.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
QByteArray addressBook(int contacts)
{
    QByteArray data;
    for (int i = 0; i < contacts; ++i) {
        const QByteArray n = QByteArray::number(i);
        data += "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                "N;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:M=FCller" +
                n +
                ";J=FCrgen\r\n"
                "FN;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:J=FCrgen M=FCller" +
                n +
                "\r\n"
                "TEL;HOME;VOICE:030 " +
                QByteArray::number(1000000 + i) +
                "\r\n"
                "TEL;WORK;VOICE:+49 40 " +
                QByteArray::number(2000000 + i) +
                "\r\n"
                "ADR;HOME;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:;;Hauptstra=DFe " +
                n +
                ";Berlin;;10115;Deutschland\r\n"
                "NOTE;ENCODING=QUOTED-PRINTABLE:Eine Notiz=0D=0Amit zwei Zeilen, die l=\r\nang ist.\r\n"
                "END:VCARD\r\n";
    }
    return data;
}

struct Book
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("kontakte.vcf"));
    VCardOutlook source{[this] { return path; }};
    PhoneBook book;

    explicit Book(int contacts)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the address book");
        file.write(addressBook(contacts));
        file.close();
    }
    void import() { book.ReadTelefonnumber(source, 28, QStringLiteral("FullName "), 6); }
};

void ParseVCards(benchmark::State &state)
{
    const QByteArray data = addressBook(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(parseVCards(data));
    state.SetBytesProcessed(state.iterations() * data.size());
    state.counters["contacts"] = static_cast<double>(state.range(0));
}
BENCHMARK(ParseVCards)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// With other notations recognised, the import also makes every row's canonical number.
void ImportContacts(benchmark::State &state)
{
    Book b(static_cast<int>(state.range(0)));
    b.book.setMatching(state.range(1) ? NumberMatching::AnyNotation : NumberMatching::Exact);
    for (auto _ : state)
        b.import();
    state.counters["contacts"] = static_cast<double>(state.range(0));
    state.SetLabel(state.range(1) ? "any notation" : "exact");
}
BENCHMARK(ImportContacts)->Args({100, 0})->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond);

// The search of a call from an unknown number: every row is compared.
void FindCaller(benchmark::State &state)
{
    Book b(static_cast<int>(state.range(0)));
    b.import();
    b.book.setMatching(state.range(1) ? NumberMatching::AnyNotation : NumberMatching::Exact);
    for (auto _ : state)
        benchmark::DoNotOptimize(b.book.find(QStringLiteral("0309999999")));
    state.SetLabel(state.range(1) ? "any notation" : "exact");
}
BENCHMARK(FindCaller)
    ->Args({100, 0})
    ->Args({100, 1})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
