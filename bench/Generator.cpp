// SPDX-License-Identifier: MIT
#include "bench/Generator.h"

#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QStringList>

#include <array>
#include <vector>

namespace {

// A small linear congruential generator of our own: the same numbers on every platform
// and standard library, unlike the <random> distributions.
class Rng
{
public:
    explicit Rng(quint32 seed)
        : m_state(quint64(seed) * 6364136223846793005ull + 1442695040888963407ull)
    {
    }
    quint32 next()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return quint32(m_state >> 33);
    }
    // 0 .. n-1
    int below(int n) { return int(next() % quint32(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    quint64 m_state;
};

const std::array<const char16_t *, 48> kWords
    = {u"подготовить", u"отчёт",    u"квартальный",  u"позвонить",   u"поставщику",  u"договор",
       u"проверить",   u"счёт",     u"оплатить",     u"встреча",     u"с",           u"клиентом",
       u"обсудить",    u"план",     u"на",           u"неделю",      u"купить",      u"бумагу",
       u"для",         u"принтера", u"исправить",    u"ошибку",      u"в",           u"расчёте",
       u"собрать",     u"цифры",    u"по",           u"продажам",    u"написать",    u"письмо",
       u"директору",   u"обновить", u"презентацию",  u"согласовать", u"бюджет",      u"отдела",
       u"заказать",    u"билеты",   u"командировка", u"в",           u"Новосибирск", u"забрать",
       u"документы",   u"из",       u"архива",       u"сдать",       u"декларацию",  u"срочно"};

const std::array<const char16_t *, 8> kFolders
    = {u"/home/user/Документы/Отчёты", u"/home/user/Загрузки", u"C:\\Reports",        u"/srv/share/Бухгалтерия",
       u"/home/user/Проекты/Листра",   u"D:\\Архив\\2023",     u"/mnt/data/Договоры", u"/home/user"};

const std::array<const char16_t *, 6> kExtensions = {u".odt", u".xlsx", u".pdf", u".txt", u".docx", u""};

QString taskText(Rng &rng)
{
    const int target = 20 + rng.below(61); // 20..80 characters
    QString text;
    text.reserve(target + 16);
    bool first = true;
    while (text.size() < target) {
        if (!first) {
            const int sep = rng.below(100);
            if (sep < 2)
                text += QLatin1Char('\n');
            else if (sep < 4)
                text += QStringLiteral(" & ");
            else
                text += QLatin1Char(' ');
        }
        QString word = QString::fromUtf16(kWords[size_t(rng.below(int(kWords.size())))]);
        if (first)
            word[0] = word[0].toUpper();
        if (rng.chance(3))
            word = QLatin1Char('"') + word + QLatin1Char('"');
        text += word;
        first = false;
    }
    text.truncate(target);
    return text.trimmed();
}

QStringList documents(Rng &rng, int serial)
{
    QStringList list;
    const int n = 1 + rng.below(3);
    for (int i = 0; i < n; ++i) {
        const int kind = rng.below(10);
        if (kind == 0) {
            list.append(QStringLiteral("https://intranet.example.org/tasks/%1").arg(serial * 3 + i));
            continue;
        }
        const QString folder = QString::fromUtf16(kFolders[size_t(rng.below(int(kFolders.size())))]);
        const QChar sep = folder.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
        if (kind == 1) {
            list.append(folder);
            continue;
        }
        list.append(folder + sep + QStringLiteral("документ-%1").arg(serial * 3 + i)
                    + QString::fromUtf16(kExtensions[size_t(rng.below(int(kExtensions.size())))]));
    }
    return list;
}

} // namespace

void BenchGenerator::fillTree(TaskTree &tree, int tasks, quint32 seed)
{
    constexpr int kMaxDepth = 6;
    Rng rng(seed);
    tree.beginBulkLoad();
    // path[d] is the last task added at depth d+1; a new task goes under one of them.
    std::vector<TaskNode *> path;
    path.reserve(kMaxDepth);
    TaskNode *chosen = nullptr;
    const int selectedSerial = tasks / 2;
    for (int serial = 0; serial < tasks; ++serial) {
        const int roll = rng.below(100);
        if (roll < 30 && int(path.size()) < kMaxDepth) {
            // one level deeper, under the last task
        } else if (roll < 75) {
            if (!path.empty())
                path.pop_back(); // a sibling of the last task
        } else {
            const int up = 1 + rng.below(3);
            for (int i = 0; i < up + 1 && !path.empty(); ++i)
                path.pop_back();
        }
        TaskNode *parent = path.empty() ? tree.root() : path.back();
        const int statusRoll = rng.below(10);
        const TaskStatus status = statusRoll < 6 ? TaskStatus::Progress
            : statusRoll < 9                     ? TaskStatus::Done
                                                 : TaskStatus::Rejected;
        TaskNode *node = tree.addChild(parent, taskText(rng), status);
        ApplyTaskStatus(tree, status, node);
        tree.setExpanded(node, rng.chance(30));
        if (rng.below(3) == 0)
            tree.setRelatedDocuments(node, documents(rng, serial));
        if (serial == selectedSerial)
            chosen = node;
        path.push_back(node);
    }
    if (chosen)
        tree.setSelected(chosen);
    tree.endBulkLoad();
}

bool BenchGenerator::writeTaskFile(const QString &path, int tasks, QString *error, quint32 seed)
{
    TaskTree tree;
    fillTree(tree, tasks, seed);
    const SaveResult saved = saveTaskFile(path, tree);
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}
