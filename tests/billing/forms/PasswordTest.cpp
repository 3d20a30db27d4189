// The lock screen, the password change and the password prompt.
#include <QScreen>
#include <QTimer>

#include "billing/forms/InformaSenha.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota223.h"
#include "billing/forms/Nota224.h"
#include "tests/billing/forms/BillingFixture.h"

namespace {

class Passwords : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        AddUser("ana", "velha");
        dmdb->Set_Var("id_usuario", "ana");
    }
};

}  // namespace

TEST_F(Passwords, TheLockOpensOnlyWithTheRightPasswordAndWrongOnesSayNothing) {
    TfrmNota224 lock(nullptr);
    lock.FormShow(&lock);
    EXPECT_EQ(lock.edtUsuario->Text(), "ana");
    EXPECT_EQ(lock.edtAplicativo->Text(), "Quillmar OSKE 1.44 [Faturamento]");

    lock.edtSenha->SetText("errada");
    EXPECT_THROW(lock.Button1Click(nullptr), EAbort);
    EXPECT_EQ(lock.edtSenha->SelLength(), 6);  // selected for retyping
    EXPECT_EQ(lock.ModalResult(), mrNone);

    lock.edtSenha->SetText("VELHA");
    lock.Button1Click(nullptr);
    EXPECT_EQ(lock.ModalResult(), mrOk);
}

TEST_F(Passwords, TheLockCannotBeClosedUntilThePasswordIsRight) {
    TfrmNota224 lock(nullptr);
    int attempts = 0;
    QTimer::singleShot(0, qApp, [&] {
        ++attempts;
        lock.Close();  // as the window manager would
        QTimer::singleShot(0, qApp, [&] {
            ++attempts;
            EXPECT_TRUE(lock.Modal());  // still up
            lock.edtSenha->SetText("VELHA");
            lock.Close();
        });
    });
    lock.ShowModal();
    EXPECT_EQ(attempts, 2);
}

TEST_F(Passwords, TheLockNamesAUserThatNoLongerExists) {
    dmdb->Set_Var("id_usuario", "sumiu");
    TfrmNota224 lock(nullptr);
    lock.edtSenha->SetText("X");
    dialogs.Expect("O Usuário \"sumiu\" não está cadastrado.", mrOk, "Usuário Inválido");
    EXPECT_THROW(lock.Valida_Senha(), EAbort);
}

TEST_F(Passwords, TheLockCannotBeMinimisedOrMovedAsideAndCoversTheScreen) {
    TfrmNota224 lock(nullptr);
    QRect screen;
    bool checked = false;
    QTimer::singleShot(0, qApp, [&] {
        QWidget* w = lock.Widget()->window();
        Qt::WindowFlags flags = w->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));  // no title bar to drag or buttons to press
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        screen = w->screen()->geometry();
        EXPECT_TRUE(w->isMaximized());

        w->showMinimized();  // as the window manager's keys would
        billtest::Pump();
        EXPECT_FALSE(w->isMinimized());
        EXPECT_TRUE(w->isMaximized());

        w->showNormal();
        w->move(screen.x() + 300, screen.y() + 200);
        billtest::Pump();
        EXPECT_TRUE(w->isMaximized());
        EXPECT_TRUE(w->geometry().contains(QRect(screen.x() + 1, screen.y() + 1, 1, 1)));
        checked = true;
        lock.edtSenha->SetText("VELHA");
        lock.Button1->Click();
    });
    EXPECT_EQ(lock.ShowModal(), mrOk);
    EXPECT_TRUE(checked);
}

TEST_F(Passwords, AChangedPasswordOpensTheLoginInAnyCase) {
    auto* change = new TFrmNota223(nullptr);
    change->FormShow(change);
    EXPECT_EQ(change->PUsuario->Caption(), "ana");
    change->edtAtual->SetText("velha");
    change->edtNova->SetText("maçã");
    change->edtRedigita->SetText("MAÇÃ");
    dialogs.Expect("Sua senha foi alterada com sucesso.", mrOk, "Sucesso");
    change->btnOkClick(nullptr);
    billtest::Pump();  // the form frees itself
    // "MAÇÃ" stored, as the second implementation of the cipher
    // (tests/data/cipher/reference.py) encrypts it.
    EXPECT_EQ(Scalar("select senha from usuario where id_usuario = 'ana'"), "SDthw/gX0j8=");
    EXPECT_TRUE(LoginAccepts("ana", "maçã"));
    EXPECT_FALSE(LoginAccepts("ana", "velha"));
}

TEST_F(Passwords, TheChangeTakesTwentyCharactersAndRefusesMoreOrNothing) {
    const std::string twenty = "vinte caracteres ok!";
    ASSERT_EQ(Length(twenty), 20);
    std::string before = Scalar("select senha from usuario where id_usuario = 'ana'");
    TFrmNota223 change(nullptr);
    change.edtAtual->SetText("velha");

    // Twenty-one, accented letters counting one each: said so, nothing stored.
    change.edtNova->SetText("vinte e um caracterés");
    change.edtRedigita->SetText("vinte e um caracterés");
    dialogs.Expect("A senha deve ter no máximo 20 caracteres.", mrOk, "Senha Incorreta");
    EXPECT_THROW(change.btnOkClick(nullptr), EAbort);
    EXPECT_EQ(Scalar("select senha from usuario where id_usuario = 'ana'"), before);

    // Empty, or blanks only: the user would be left without a password the
    // login takes.
    for (const char* blank : {"", "   "}) {
        change.edtNova->SetText(blank);
        change.edtRedigita->SetText(blank);
        dialogs.Expect("A senha não pode ficar em branco.", mrOk, "Senha Incorreta");
        EXPECT_THROW(change.btnOkClick(nullptr), EAbort);
    }
    EXPECT_EQ(Scalar("select senha from usuario where id_usuario = 'ana'"), before);

    change.edtNova->SetText(twenty);
    change.edtRedigita->SetText(twenty);
    dialogs.Expect("Sua senha foi alterada com sucesso.", mrOk, "Sucesso");
    change.btnOkClick(nullptr);
    EXPECT_TRUE(LoginAccepts("ana", twenty));
    EXPECT_FALSE(LoginAccepts("ana", twenty + "!"));
}

TEST_F(Passwords, TheChangeRefusesEachMistakeWithItsOwnMessage) {
    TFrmNota223 change(nullptr);
    std::string before = Scalar("select senha from usuario where id_usuario = 'ana'");

    change.edtAtual->SetText("outra");
    dialogs.Expect("A \"senha atual\" informada não está correta. Tente novamente.", mrOk, "Senha Incorreta");
    EXPECT_THROW(change.btnOkClick(nullptr), EAbort);

    change.edtAtual->SetText("VELHA");
    change.edtNova->SetText("nova1");
    change.edtRedigita->SetText("nova2");
    dialogs.Expect("A \"nova senha\" não é igual a \"redigitada\". Tente novamente.", mrOk, "Senha Incorreta");
    EXPECT_THROW(change.btnOkClick(nullptr), EAbort);

    change.edtNova->SetText("Velha");
    change.edtRedigita->SetText("velha");
    dialogs.Expect("A \"nova senha\" não pode ser igual a anterior. Tente novamente.", mrOk, "Senha Incorreta");
    EXPECT_THROW(change.btnOkClick(nullptr), EAbort);

    EXPECT_EQ(Scalar("select senha from usuario where id_usuario = 'ana'"), before);
}

TEST_F(Passwords, ADisabledUserCannotChangeHisPassword) {
    AddUser("rui", "abc", "Sim");
    dmdb->Set_Var("id_usuario", "rui");
    TFrmNota223 change(nullptr);
    change.edtAtual->SetText("abc");
    change.edtNova->SetText("def");
    change.edtRedigita->SetText("def");
    dialogs.Expect("O Usuário \"rui\" está com o acesso desabilitado.", mrOk, "Usuário Desabilitado");
    EXPECT_THROW(change.btnOkClick(nullptr), EAbort);
}

TEST_F(Passwords, ThePromptInsistsOnAText) {
    TfrmInformaSenha prompt(nullptr);
    prompt.edtSenha->SetText("resto");
    prompt.FormShow(&prompt);
    EXPECT_EQ(prompt.edtSenha->Text(), "");
    prompt.edtSenha->SetText("   ");
    dialogs.Expect("Informe a senha !", mrOk);
    prompt.Button1Click(nullptr);
    EXPECT_EQ(prompt.ModalResult(), mrNone);
    prompt.edtSenha->SetText("1234");
    prompt.Button1Click(nullptr);
    EXPECT_EQ(prompt.ModalResult(), mrOk);
}

// Guessing at the lock screen is slowed down and logged as at the log-in,
// on the same count: three wrong passwords are free and logged, the next
// try waits with a box that says how long (even the right password), the
// log-in of that user waits too, and once the delay is over the right
// password unlocks and is logged.
TEST_F(Passwords, TheLockDelaysAndLogsWrongPasswordsOnTheLoginsCount) {
    std::int64_t now = 5000000;
    billing::data::LoginDelays().SetClock([&now] { return now; });
    TfrmNota224 lock(nullptr);
    lock.FormShow(&lock);
    for (int i = 0; i < 3; ++i) {
        lock.edtSenha->SetText("errada");
        EXPECT_THROW(lock.Button1Click(nullptr), EAbort);  // no box
    }
    EXPECT_EQ(Count("select count(*) from usuario_log where id_usuario = 'ana' and id_programa = 'NOTA224' and "
                    "descricao = 'Tentativa de desbloqueio com senha incorreta'"),
              3);
    lock.edtSenha->SetText("VELHA");
    dialogs.Expect("Aguarde 1 segundo", mrOk, "Atenção");
    EXPECT_THROW(lock.Button1Click(nullptr), EAbort);
    EXPECT_EQ(lock.ModalResult(), mrNone);
    EXPECT_FALSE(LoginAccepts("ana", "velha"));

    now += 1000;
    lock.edtSenha->SetText("VELHA");
    lock.Button1Click(nullptr);
    EXPECT_EQ(lock.ModalResult(), mrOk);
    EXPECT_EQ(Count("select count(*) from usuario_log where id_usuario = 'ana' and id_programa = 'NOTA224' and "
                    "descricao = 'Usuário desbloqueou o Aplicativo'"),
              1);
    EXPECT_TRUE(LoginAccepts("ana", "velha")) << "the count was cleared";
}

// Another machine whose clock runs three hours ahead counts three wrong
// passwords: here, the right password waits one delay at most, at the log-in
// and at the lock screen alike, and not until this clock reaches that one.
TEST_F(Passwords, FailuresStampedByAClockHoursAheadWaitOnlyOneDelayHere) {
    const std::int64_t here = 7000000;
    const std::int64_t ahead = here + 3LL * 60 * 60 * 1000;
    struct Way {
        const char* name;
        std::function<bool()> rightPassword;  // true: let in
    };
    const std::vector<Way> ways = {
        {"login", [&] { return LoginAccepts("ana", "velha"); }},
        {"lock",
         [&] {
             TfrmNota224 lock(nullptr);
             lock.FormShow(&lock);
             lock.edtSenha->SetText("VELHA");
             ui::ScriptedDialogs quiet([](const std::string&) {});
             quiet.Answer(mrOk);
             try {
                 lock.Button1Click(nullptr);
             } catch (const EAbort&) {
             }
             return lock.ModalResult() == mrOk;
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        std::int64_t now = here;
        billing::data::LoginDelays().SetClock([&now] { return now; });
        {
            sqlite::Database other(database);
            billing::data::LoginDelay there([ahead] { return ahead; });
            for (int i = 0; i < 3; ++i) there.Failed(other, billing::data::LoginKey("ana", "ana"));
        }
        EXPECT_FALSE(way.rightPassword()) << "the fourth try waits the first delay";
        now += billing::data::LoginDelay::DelayAfter(3) / 2;
        EXPECT_FALSE(way.rightPassword()) << "still within that delay";
        now += billing::data::LoginDelay::DelayAfter(3);
        EXPECT_TRUE(way.rightPassword()) << "the delay is over long before the other clock is reached";
    }
}
