Example Bank: a form login that answers with a session cookie and a redirect to the list of
accounts, then two steps: the account's page, and the balance page that it links to with a
token of the session.

[COMMON]
list_name=Example banks

[Example Bank current account]
unique_id=EXAMPLE_BANK_CURRENT
group_name=Example Bank
need_auth=yes
method=POST
page_url=http://bank.example/login?nocache={RAND}
post_data=login={LOGIN}&password={PASSWORD}
pattern=href="/accounts/(\d+?)">Current account
chunks=EXAMPLE_BANK_CURRENT_STEPS

{EXAMPLE_BANK_CURRENT_STEPS}
chunk_begin
chunk_url=http://bank.example/accounts/{c_1}
chunk_method=GET
chunk_pattern=href="/accounts/\d+?/balance\?view=(\w+?)"
chunk_end
chunk_begin
chunk_url=http://bank.example/accounts/{c_1}/balance?view={c_1_1}&date={DATETIME,yyyy-mm-dd}
chunk_method=GET
chunk_pattern=Available balance:\s*<b>(-?[\d,]+?)(\.)(\d\d) EUR</b>
chunk_end
