// A whole mailing, scripted end to end through the simulated client's
// published interfaces only, as an extension runs one: the client loads a
// small extension, which adds a Tools-menu entry and, on every new compose
// window, a button; a click on the button copies the composed message once
// per recipient, merges a name into it, addresses it through the store, moves
// it to the Outbox, submits and flushes it (or leaves it to Send/Receive).
// The delivered files and an expected.json describing them are left in the
// folder named on the command line, for a mail parser to check.
//
//   sim_scenario <Windows path of the output folder>
#include "automation.h"

#include <cstdio>

using namespace simtest;

namespace {

int Failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what.c_str());
        ++Failures;
    }
}

struct Person {
    const char* address;
    const char* name; // UTF-8
};

std::string Replace(std::string text, const std::string& token, const std::string& value) {
    for (size_t at = text.find(token); at != std::string::npos;
         at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
    return text;
}

// ---- The extension's side -------------------------------------------------------------

// One composed message, as the extension keeps it.
struct Composed {
    Ptr<IDispatch> inspector;
    Ptr<IDispatch> item;
    Ptr<IMessage> message;
    Ptr<Sink> buttonSink;
    Ptr<Sink> itemSink;
    std::string tag;
};

// What the extension meant to send, message by message.
struct Intended {
    std::string subject, body;
    bool html;
    std::vector<std::string> to, cc;
};

struct Mailer {
    Ptr<IDispatch> application;
    Ptr<IMAPISession> session;
    Ptr<Sink> inspectorsSink;
    Ptr<Sink> optionsSink;
    std::vector<Composed*> open;
    std::vector<Person> list;
    std::vector<std::string> copiesTo; // the composed message's own Cc
    std::vector<Intended> intended;
    bool flushEach = true;
    int buttons = 0;
    int optionClicks = 0;
    int jobs = 0;
    ULONG tnefTag = 0;
};

// Resolved with a one-off entry ID from the session's address book, as a
// store delivers only to resolved recipients.
HRESULT AddRecipient(IMAPISession* session, IMessage* message, const Person& to) {
    std::string entryId;
    if (HRESULT hr = OneOffFromAddressBook(session, to.address, to.name, &entryId); FAILED(hr))
        return hr;
    LPADRLIST list = OneRecipient(to.address, to.name, entryId);
    if (!list)
        return E_OUTOFMEMORY;
    HRESULT hr = message->ModifyRecipients(MODRECIP_ADD, list);
    FreePadrlist(list);
    return hr;
}

HRESULT SetOne(IMessage* message, ULONG tag, LONG value) {
    SPropValue v;
    v.ulPropTag = tag;
    if (PROP_TYPE(tag) == PT_BOOLEAN)
        v.Value.b = static_cast<unsigned short>(value);
    else
        v.Value.l = value;
    return message->SetProps(1, &v, nullptr);
}

// The mailing itself, run inside the button's Click.
void RunJob(Mailer& m, Composed& c) {
    ++m.jobs;
    Check(SUCCEEDED(Call(c.item.Get(), "Save")), "saving the original");
    std::string subject, body, html;
    {
        // Read as Unicode, every character kept; the HTML's bytes are UTF-8,
        // as PR_INTERNET_CPID says for these drafts.
        SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_W}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        HRESULT hr =
            c.message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
        Check(hr == S_OK && PROP_TYPE(values[0].ulPropTag) == PT_UNICODE, "reading the subject");
        if (values && PROP_TYPE(values[0].ulPropTag) == PT_UNICODE) {
            const OLECHAR* w = reinterpret_cast<const OLECHAR*>(values[0].Value.lpszW);
            BSTR b = SysAllocString(w);
            subject = Narrow(b);
            SysFreeString(b);
        }
        MAPIFreeBuffer(values);
    }
    std::string wideBody;
    Check(ReadStream(c.message.Get(), PR_BODY_W, &wideBody) == S_OK, "reading the body");
    {
        BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(wideBody.size() / 2));
        for (size_t i = 0; i < wideBody.size() / 2; ++i)
            b[i] = static_cast<OLECHAR>(static_cast<unsigned char>(wideBody[2 * i]) |
                                        (static_cast<unsigned char>(wideBody[2 * i + 1]) << 8));
        body = Narrow(b);
        SysFreeString(b);
    }
    const bool hasHtml = Number(c.item.Get(), "BodyFormat") == olFormatHTML &&
                         ReadStream(c.message.Get(), PR_HTML, &html) == S_OK;

    Ptr<IDispatch> ns = Object(m.application.Get(), "Session");
    for (const Person& to : m.list) {
        Ptr<IDispatch> copy;
        for (int attempt = 0; attempt < 5 && !copy; ++attempt) {
            Result r;
            if (SUCCEEDED(Call(c.item.Get(), "Copy", {}, &r.v)))
                copy = QueryAs<IDispatch>(r.Dispatch(), IID__MailItem);
        }
        Check(static_cast<bool>(copy), "copying the original");
        if (!copy)
            return;
        Call(copy.Get(), "Save");
        Ptr<IMessage> message;
        {
            Result r;
            Get(copy.Get(), "MAPIOBJECT", &r.v);
            message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
        }
        Intended mail{Replace(subject, "[[Name]]", to.name),
                      Replace(hasHtml ? html : body, "[[Name]]", to.name),
                      hasHtml,
                      {to.address},
                      m.copiesTo};
        Put(copy.Get(), "Subject", mail.subject);
        Put(copy.Get(), hasHtml ? "HTMLBody" : "Body", mail.body);
        Call(copy.Get(), "Save");
        Check(AddRecipient(m.session.Get(), message.Get(), to) == S_OK, "adding the recipient");
        if (!hasHtml)
            Check(SetOne(message.Get(), PR_MSG_EDITOR_FORMAT, EDITOR_FORMAT_PLAINTEXT) == S_OK,
                  "marking plain text");
        if (!m.tnefTag) {
            LPSPropTagArray tags = nullptr;
            Check(UseTnefTag(message.Get(), MAPI_CREATE, &tags) == S_OK, "resolving the TNEF flag");
            m.tnefTag = CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_BOOLEAN);
            MAPIFreeBuffer(tags);
        }
        Check(SetOne(message.Get(), m.tnefTag, 0) == S_OK, "switching TNEF off");

        Ptr<IDispatch> outbox = Object(ns.Get(), "GetDefaultFolder", {olFolderOutbox});
        Ptr<IDispatch> moved = Object(copy.Get(), "Move", {outbox.Get()});
        Ptr<IDispatch> sent = Object(ns.Get(), "GetDefaultFolder", {olFolderSentMail});
        Check(static_cast<bool>(moved), "moving to the Outbox");
        PutRef(moved.Get(), "SaveSentMessageFolder", Arg(sent.Get()));
        Call(moved.Get(), "Save");
        {
            Result r;
            Get(moved.Get(), "MAPIOBJECT", &r.v);
            message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
        }
        Check(message && message->SubmitMessage(FORCE_SUBMIT) == S_OK, "submitting");
        m.intended.push_back(mail);
        if (m.flushEach)
            Check(FlushSpooler(m.session.Get()) == S_OK, "flushing the spooler");
    }
    if (!m.flushEach) {
        Ptr<IDispatch> bars =
            Object(Object(m.application.Get(), "ActiveExplorer").Get(), "CommandBars");
        Ptr<IDispatch> sendReceive =
            Object(bars.Get(), "FindControl",
                   {Arg::Missing(), Arg::Int(7095), Arg::Missing(), Arg::Missing()});
        Check(sendReceive && SUCCEEDED(Call(sendReceive.Get(), "Execute")), "Send/Receive");
    }
    Check(SUCCEEDED(Call(c.item.Get(), "Close", {olSave})), "closing the original");
}

void OnNewInspector(Mailer& m, IDispatch* window) {
    auto* c = new Composed;
    c->inspector = QueryAs<IDispatch>(window, IID__Inspector);
    Ptr<IDispatch> current = Object(c->inspector.Get(), "CurrentItem");
    c->item = QueryAs<IDispatch>(current.Get(), IID__MailItem);
    if (!c->item || Number(c->item.Get(), "Class") != olMail) {
        delete c;
        return;
    }
    Result r;
    Get(c->item.Get(), "Sent", &r.v);
    if (r.Bool()) {
        delete c;
        return;
    }
    Get(c->item.Get(), "MAPIOBJECT", &r.v);
    c->message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);

    Ptr<IDispatch> bar =
        Object(Object(c->inspector.Get(), "CommandBars").Get(), "Item", {"Standard"});
    Ptr<IDispatch> button =
        Object(Object(bar.Get(), "Controls").Get(), "Add",
               {msoControlButton, Arg::Missing(), Arg::Missing(), Arg::Missing(), true});
    c->tag = "MergeTag" + std::to_string(m.buttons++);
    Put(button.Get(), "BeginGroup", true);
    Put(button.Get(), "Caption", "Mail Merge");
    Put(button.Get(), "TooltipText", "Send a copy of this message to each person on the list");
    Put(button.Get(), "Tag", c->tag);
    Put(button.Get(), "OLEUsage", msoControlOLEUsageNeither);
    Put(button.Get(), "FaceId", 0);
    Put(button.Get(), "Style", msoButtonIconAndCaption);
    Put(button.Get(), "Visible", true);

    c->buttonSink = Ptr<Sink>::Adopt(new Sink(IID__CommandBarButtonEvents));
    c->buttonSink->action = [&m, c](const Sink::Event& e) {
        Ptr<IDispatch> control = QueryAs<IDispatch>(e.object, IID_CommandBarControl);
        if (control && Text(control.Get(), "Tag") == c->tag)
            RunJob(m, *c);
    };
    Check(c->buttonSink->Connect(button.Get()) == S_OK, "connecting the button");
    c->itemSink = Ptr<Sink>::Adopt(new Sink(IID_ItemEvents));
    c->itemSink->action = [&m, c](const Sink::Event& e) {
        if (e.dispid != DISPID_ItemEvents_Close && e.dispid != DISPID_ItemEvents_Send)
            return;
        c->buttonSink->Disconnect();
        c->itemSink->Disconnect();
        for (auto it = m.open.begin(); it != m.open.end(); ++it)
            if (*it == c) {
                m.open.erase(it);
                break;
            }
        delete c; // the sinks live on until the event returns
    };
    Check(c->itemSink->Connect(c->item.Get()) == S_OK, "connecting the item");
    m.open.push_back(c);
}

void OnExplorer(Mailer& m) {
    Ptr<IDispatch> explorer = Object(m.application.Get(), "ActiveExplorer");
    Ptr<IDispatch> menu = Object(Object(explorer.Get(), "CommandBars").Get(), "ActiveMenuBar");
    Ptr<IDispatch> tools = Object(Object(menu.Get(), "Controls").Get(), "Item", {"&Tools"});
    Ptr<IDispatch> entry =
        Object(Object(tools.Get(), "Controls").Get(), "Add",
               {msoControlButton, Arg::Missing(), Arg::Missing(), Arg::Missing(), true});
    Put(entry.Get(), "Caption", "Mailer &Options...");
    Put(entry.Get(), "Tag", "MailerOptions");
    m.optionsSink = Ptr<Sink>::Adopt(new Sink(IID__CommandBarButtonEvents));
    m.optionsSink->action = [&m](const Sink::Event& e) {
        if (Text(e.object, "Tag") == "MailerOptions")
            ++m.optionClicks;
    };
    Check(m.optionsSink->Connect(entry.Get()) == S_OK, "connecting the menu entry");

    m.inspectorsSink = Ptr<Sink>::Adopt(new Sink(IID_InspectorsEvents));
    m.inspectorsSink->action = [&m](const Sink::Event& e) { OnNewInspector(m, e.object); };
    Check(m.inspectorsSink->Connect(Object(m.application.Get(), "Inspectors").Get()) == S_OK,
          "connecting to the inspectors");
}

// ---- The expected results, for the parser -------------------------------------------------

std::string Json(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char ch : utf8) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", ch);
            out += escaped;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + Json(items[i]);
    return out + "]";
}

bool WriteText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

std::string Expected(const sim::Config& config, const std::vector<Intended>& intended,
                     const std::vector<sim::Delivery>& deliveries) {
    std::string json = "[\n";
    for (size_t i = 0; i < intended.size() && i < deliveries.size(); ++i) {
        const Intended& mail = intended[i];
        const std::string& path = deliveries[i].path;
        json += "  {\"file\": " + Json(path.substr(path.rfind('\\') + 1)) +
                ", \"from\": " + Json(config.senderAddress) +
                ", \"from_name\": " + Json(config.senderName) + ", \"to\": " + JsonList(mail.to) +
                ", \"cc\": " + JsonList(mail.cc) + ", \"subject\": " + Json(mail.subject) +
                ", \"html\": " + (mail.html ? "true" : "false") + ", \"body\": " + Json(mail.body) +
                "}" + (i + 1 < intended.size() ? "," : "") + "\n";
    }
    return json + "]\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: sim_scenario <output folder>\n");
        return 2;
    }
    PreparePlatform();
    DeleteFileA((std::string(argv[1]) + "\\expected.json").c_str()); // none from an earlier run
    const size_t buffersBefore = LiveMapiBuffers();
    Check(buffersBefore != static_cast<size_t>(-1), "the client's mapi32 is loaded");

    sim::Config config;
    config.version = "11.0.0.8312";
    config.deliveryFolder = argv[1];
    config.senderName = "Sam Sender";
    config.senderAddress = "sam@example.com";
    std::vector<sim::Delivery> deliveries;
    {
        sim::MailClient client(config);
        Mailer m;
        Ptr<Extension> extension = Ptr<Extension>::Adopt(new Extension);
        Extension* ext = extension.Get();
        ext->onInstall = [&m, ext](ULONG context) {
            if (context != EECONTEXT_VIEWER)
                return;
            m.application = ext->application;
            m.session = ext->session;
            OnExplorer(m);
        };
        client.InstallExtension(extension.Get());
        Check(m.application && m.session, "the extension has the application and the session");

        // An HTML message to three people, with a copy to the boss on each.
        sim::Draft html;
        html.subject = "Grüße, [[Name]] — Ζήτω 🎉";
        html.html = "<html><head><meta charset=\"utf-8\"></head><body><p>Hallo [[Name]],</p>\r\n"
                    "<p>Preis: 5 € = 5 EUR. Zażółć gęślą jaźń. 你好。</p></body></html>";
        html.recipients = {sim::Recipient("boss@example.com", "The Boss", MAPI_CC)};
        m.list = {{"ann@example.com", "Ann"},
                  {"zoe@example.com", "Zoë"},
                  {"łukasz@example.pl", "Łukasz Żółw"},
                  {"zhang@example.cn", "张伟"},
                  {"cy@example.com", "Cy \"the\" Smith"}};
        m.copiesTo = {"boss@example.com"};
        client.FailCopy(2); // the host is busy for the first two copies
        Ptr<IDispatch> first = client.OpenCompose(html);
        std::vector<Ptr<IDispatch>> buttons = client.ControlsTagged(first.Get(), "MergeTag0");
        Check(buttons.size() == 1, "the button is on the compose window");
        if (!buttons.empty())
            client.Click(buttons[0].Get());
        Check(m.jobs == 1 && client.Deliveries().size() == 5, "the first mailing is delivered");
        Check(client.OpenInspectors().empty(), "the first window has closed");

        // A plain-text message to two people, sent by one Send/Receive.
        sim::Draft plain;
        plain.subject = "A note for [[Name]]";
        plain.bodyFormat = olFormatPlain;
        plain.body =
            "Dear [[Name]],\r\n\r\n" + std::string(100, '-') + " a long rule\r\n" +
            "Equals = signs, tabs\tand blanks at the end   \r\nCafé € résumé. Αλέξανδρος 😀\r\n";
        // Eve's name is an encoded word: she must read it as typed.
        m.list = {{"bob@example.com", "Bob"},
                  {"dee@example.com", "Dee"},
                  {"eve@example.com", "=?utf-8?b?W1VSR0VOVF0gUGF5IG5vdw==?="}};
        m.copiesTo.clear();
        m.flushEach = false;
        Ptr<IDispatch> second = client.OpenCompose(plain);
        buttons = client.ControlsTagged(second.Get(), "MergeTag1");
        // A click on the menu entry reaches the button's sink too (same Id);
        // it must not start a mailing.
        std::vector<Ptr<IDispatch>> entry =
            client.ControlsTagged(client.Explorer().Get(), "MailerOptions");
        Check(entry.size() == 1, "the Tools menu entry");
        if (!entry.empty())
            client.Click(entry[0].Get());
        Check(m.optionClicks == 1 && m.jobs == 1, "the menu entry's click is its own");
        if (!buttons.empty())
            client.Click(buttons[0].Get());
        Check(client.Deliveries().size() == 8 && client.SendReceiveCount() == 1,
              "the second mailing is delivered by Send/Receive");

        Check(client.FolderContents(olFolderOutbox).empty(), "the Outbox is empty");
        Check(client.FolderContents(olFolderSentMail).size() == 8, "Sent Items has every copy");
        Check(client.FolderContents(kDraftsFolder).size() == 2, "the two originals are drafts");
        for (const sim::MessageView& v : client.FolderContents(olFolderSentMail))
            Check(v.useTnef == 0, "TNEF is off on " + v.subject);
        deliveries = client.Deliveries();
        Check(m.intended.size() == deliveries.size(), "one delivery per message sent");
        Check(client.NonDeliveries().empty(), "no recipient went unresolved");
        for (const sim::Delivery& d : deliveries) {
            for (const sim::Recipient& r : d.recipients) {
                sim::OneOffEntry entry;
                Check(sim::DecodeOneOffEntryId(r.entryId, &entry) && entry.address == r.address &&
                          entry.addressType == "SMTP",
                      r.address + " is resolved by a one-off entry of its address");
            }
        }
        Check(WriteText(config.deliveryFolder + "\\expected.json",
                        Expected(config, m.intended, deliveries)),
              "writing expected.json");

        m.inspectorsSink->Disconnect();
        m.optionsSink->Disconnect();
        Check(m.open.empty(), "every window record is gone");
        m.application.Reset();
        m.session.Reset();
        extension->application.Reset();
        extension->session.Reset();
    }
    Check(sim::LiveObjectCount() == 0, "every object of the client is released");
    Check(LiveMapiBuffers() == buffersBefore, "every MAPI buffer is freed");
    std::printf("%s: %zu messages delivered to %s\n", Failures ? "FAILED" : "OK", deliveries.size(),
                argv[1]);
    return Failures ? 1 : 0;
}
